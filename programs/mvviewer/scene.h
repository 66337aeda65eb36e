// The viewer's 3-D scene: a white square on the marker, a lit sphere, three
// axis lines and a particle fountain rising from the marker's centre.
//
// The fountain's bookkeeping (creation, one simulation step, the per-frame
// pass) draws nothing itself: the pass hands each live particle to a
// callback, so it can be exercised without a window.
#ifndef MORVEX_APP_SCENE_H
#define MORVEX_APP_SCENE_H

#include <sys/time.h>

constexpr int kParticleMax = 10000;

// One particle: twelve 4-byte fields. Units of position and velocity are
// metres in marker space (drawn scaled to millimetres); velocity is per step.
struct Particle {
    float life;         // 1000 at creation, dies at 0 or below
    float fade;         // life lost per step
    float red;
    float green;        // base; drawn green = green + 1 - life / 1000
    float blue;
    float position[3];
    float velocity[3];
    int active;         // 1 while alive and drawn, 0 when free
};
static_assert(sizeof(Particle) == 48, "Particle is twelve 4-byte fields");

extern Particle particle[kParticleMax];
// Time of the last fountain update; start-up sets it, draw() renews it.
extern struct timeval last_frame;

struct timeval now();
// Milliseconds from t to now, rounded towards zero. Computed in 64 bits and
// clamped to the int range, so a long absence of the marker (or a clock set
// far back) cannot wrap around.
int timeUntilNow(struct timeval t);
// New particles allowed for `elapsed_ms` milliseconds: 20 per millisecond,
// never below 0 and never above the particle count.
int fountainBudget(long long elapsed_ms);

void CreateParticle(int i);
void InitParticle();
void EvolveParticle();
// One pass over all particles in index order: a particle below the marker
// plane loses its life; live ones go to drawParticle (may be null); free ones
// are re-created while fewer than `budget` were created in this pass; dead
// ones are freed. Returns how many were created.
int fountainPass(int budget, void (*drawParticle)(const Particle &p));

// Draws the scene on the marker whose transform (marker -> camera, mm; only
// read) is `trans` and advances the fountain by one step.
void draw(double trans[3][4]);
// The same scene `scale` times as large (1: for a 45 mm marker). With
// `advance` the fountain creates, draws and moves its particles as draw()
// does; without, its live particles are only drawn (for a further marker
// in the same frame: the fountain moves once a frame).
void drawOn(double trans[3][4], double scale, bool advance);

#endif
