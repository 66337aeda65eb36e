// The scene drawn on the tracked marker and its particle fountain.
#include "scene.h"

#include <GL/glut.h>
#include <climits>
#include <cstdlib>

#include "morvex/display.h"

Particle particle[kParticleMax];
struct timeval last_frame;

static const GLfloat light_position[] = {100.0f, -200.0f, 200.0f, 0.0f};
static const GLfloat ambi[] = {0.1f, 0.1f, 0.1f, 0.1f};
static const GLfloat lightZeroColor[] = {0.9f, 0.9f, 0.9f, 0.1f};
static const GLfloat mat_specular[] = {0.0f, 0.0f, 1.0f, 1.0f};
static const GLfloat mat_ambient[] = {0.0f, 0.0f, 1.0f, 1.0f};
static const GLfloat mat_shininess[] = {50.0f};

struct timeval now()
{
    struct timeval t;
    gettimeofday(&t, nullptr);
    return t;
}

int timeUntilNow(struct timeval t)
{
    const struct timeval n = now();
    const long long us = ((long long)n.tv_sec - (long long)t.tv_sec) * 1000000LL +
                         ((long long)n.tv_usec - (long long)t.tv_usec);
    const long long ms = us / 1000;  // C++ division truncates towards zero
    if (ms > INT_MAX) return INT_MAX;
    if (ms < INT_MIN) return INT_MIN;
    return (int)ms;
}

int fountainBudget(long long elapsed_ms)
{
    if (elapsed_ms <= 0) return 0;
    // More than every particle can never be used, and capping here keeps the
    // product of a huge gap from wrapping.
    if (elapsed_ms >= kParticleMax) return kParticleMax;
    const long long budget = elapsed_ms * 20;
    return budget > kParticleMax ? kParticleMax : (int)budget;
}

void CreateParticle(int i)
{
    Particle &p = particle[i];
    p.life = 1000.0f;
    p.fade = 40.0f;
    p.red = 1.0f;
    p.green = 0.0f;
    p.blue = 0.2f;
    p.position[0] = p.position[1] = p.position[2] = 0.0f;
    // random() lies in 0 .. 2^31 - 1, so each quotient is in [0, 0.0005):
    // the sideways velocities lean towards negative x and z.
    const float r1 = (float)random();
    const float r2 = (float)random();
    const float r3 = (float)random();
    p.velocity[0] = (float)(0.0005 - 3.0 * ((double)r1 / 4294967295000.0));
    p.velocity[1] = (float)(0.01 - 10.0 * ((double)r2 / 4294967295000.0));
    p.velocity[2] = (float)(0.0005 - 3.0 * ((double)r3 / 4294967295000.0));
    p.active = 1;
}

void InitParticle()
{
    for (int i = 0; i < kParticleMax; i++) {
        CreateParticle(i);
        particle[i].active = 0;
    }
}

void EvolveParticle()
{
    for (int i = 0; i < kParticleMax; i++) {
        Particle &p = particle[i];
        p.life -= p.fade;
        for (int k = 0; k < 3; k++) p.position[k] += p.velocity[k];
        p.velocity[1] = (float)((double)p.velocity[1] - 0.0007);  // gravity
    }
}

int fountainPass(int budget, void (*drawParticle)(const Particle &p))
{
    int created = 0;
    for (int i = 0; i < kParticleMax; i++) {
        Particle &p = particle[i];
        if (p.position[1] < 0.0f) p.life = 0.0f;  // fell below the marker plane
        if (p.active == 1) {
            if (drawParticle) drawParticle(p);
        } else if (created < budget) {
            CreateParticle(i);
            created++;
        }
        if (p.life <= 0.0f) p.active = 0;
    }
    return created;
}

// A particle is a short line from its position along its velocity, in
// millimetres; its green rises as its life runs out (red towards yellow).
// Called between glBegin(GL_LINES) and glEnd(): the offset is added here
// rather than through a matrix push per particle, which made the driver
// flush for each of up to 10000 particles.
static void draw_particle(const Particle &p)
{
    glColor3f(p.red, p.green + 1.0f - p.life / 1000.0f, p.blue);
    const float x = 1000.0f * p.position[0];
    const float y = 1000.0f * p.position[1];
    const float z = 1000.0f * p.position[2];
    glVertex3f(x, y, z);
    glVertex3f(x + 300.0f * p.velocity[0], y + 300.0f * p.velocity[1],
               z + 300.0f * p.velocity[2]);
}

void draw(double trans[3][4])
{
    drawOn(trans, 1.0, true);
}

void drawOn(double trans[3][4], double scale, bool advance)
{
    double gl_para[16];

    mvgDrawMode3D();
    mvgDraw3dCamera(0, 0);

    // The colour buffer holds the video frame and is kept.
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);

    // From here on, drawing is in marker coordinates (mm).
    mvgConvGlpara(trans, gl_para);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(gl_para);
    if (scale != 1.0) {
        // Another marker size: the whole scene grows with it; the sphere's
        // normals are scaled too and must be made unit again for lighting.
        glScaled(scale, scale, scale);
        glEnable(GL_NORMALIZE);
    }

    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambi);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightZeroColor);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat_specular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, mat_shininess);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat_ambient);

    // Unlit white square covering the marker.
    glBegin(GL_POLYGON);
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertex3f(-25.0f, -25.0f, 0.0f);
    glVertex3f(-25.0f, 25.0f, 0.0f);
    glVertex3f(25.0f, 25.0f, 0.0f);
    glVertex3f(25.0f, -25.0f, 0.0f);
    glVertex3f(-25.0f, -25.0f, 0.0f);
    glEnd();

    // The fountain's y axis is the marker's z axis.
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);

    glEnable(GL_LIGHTING);
    glutSolidSphere(5.0, 50, 50);
    glDisable(GL_LIGHTING);

    glBegin(GL_LINES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(10.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 10.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 10.0f);
    glEnd();

    glBegin(GL_LINES);
    if (advance) {
        fountainPass(fountainBudget(timeUntilNow(last_frame)), draw_particle);
    } else {
        for (const Particle &p : particle)
            if (p.active == 1) draw_particle(p);
    }
    glEnd();
    if (advance) {
        EvolveParticle();
        last_frame = now();
    }

    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_NORMALIZE);
}
