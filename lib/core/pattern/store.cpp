// The pattern store: 50 slots of four rotation blocks, filled from pattern
// files and turned into zero-mean templates ready for correlation.
#include "morvex/pattern.h"
#include "pattern_store.h"
#include "message.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mvcore {

int pattern_num = -1;
int patf[kSlots];
int pat[kSlots][kBlocks][kValues];
double patpow[kSlots][kBlocks];
int patBW[kSlots][kBlocks][kValues];
double patpowBW[kSlots][kBlocks];

}  // namespace mvcore

using namespace mvcore;

namespace {

// Norm of a template; sums of squares are taken in 64 bits so that a file
// with values far outside 0..255 cannot overflow (for values in range the
// sum fits in 32 bits and the result is the same). A flat template gets a
// tiny norm so that matching never divides by zero.
double template_norm(const int *v, int n) {
    int64_t sum = 0;
    for (int i = 0; i < n; i++) sum += (int64_t)v[i] * v[i];
    double norm = std::sqrt((double)sum);
    return norm == 0.0 ? 1e-7 : norm;
}

constexpr int kValueLimit = 1000000;

// One whole number as "%d" reads it (blanks, a sign, decimal digits, up to
// the first other character), held to +-kValueLimit as it is read:
// scanf's result for a number past the range of int is undefined.
bool read_number(FILE *fp, int *out) {
    int ch;
    do ch = std::fgetc(fp); while (ch != EOF && std::isspace(ch));
    const bool negative = ch == '-';
    if (ch == '-' || ch == '+') ch = std::fgetc(fp);
    if (ch == EOF || !std::isdigit(ch)) return false;
    int v = 0;
    for (; ch != EOF && std::isdigit(ch); ch = std::fgetc(fp))
        if (v <= kValueLimit) v = v * 10 + (ch - '0');
    if (ch != EOF) std::ungetc(ch, fp);
    if (v > kValueLimit) v = kValueLimit;
    *out = negative ? -v : v;
    return true;
}

bool valid_slot(int id) { return id >= 0 && id < kSlots; }

// Sets an in-use slot to `state`; -1 for a free or out-of-range slot.
int set_state(int id, int state) {
    if (!valid_slot(id) || pattern_num < 0 || patf[id] == 0) return -1;
    if (state == 0) pattern_num--;
    patf[id] = state;
    return 1;
}

}  // namespace

extern "C" int mvLoadPatt(const char *filename) {
    if (pattern_num == -1) {
        for (int i = 0; i < kSlots; i++) patf[i] = 0;
        pattern_num = 0;
    }
    int slot = 0;
    while (slot < kSlots && patf[slot] != 0) slot++;
    if (slot == kSlots) {
        mvcore::report(MV_ERROR_CAPACITY, nullptr, "no free slot for pattern \"%s\": all %d in use",
                       filename, kSlots);
        return -1;
    }

    FILE *fp = std::fopen(filename, "r");
    if (fp == nullptr) {
        mvcore::report(MV_ERROR_NOT_FOUND, stdout, "\"%s\" not found!!\n", filename);
        return -1;
    }

    for (int h = 0; h < kBlocks; h++) {
        int *colour = pat[slot][h];
        int *grey = patBW[slot][h];
        int sum = 0;
        for (int c = 0; c < 3; c++) {
            for (int r = 0; r < 16; r++) {
                for (int k = 0; k < 16; k++) {
                    int v;
                    if (!read_number(fp, &v)) {
                        mvcore::report(MV_ERROR_FORMAT, stdout, "Pattern Data read error!!\n");
                        std::fclose(fp);
                        return -1;
                    }
                    // Files store brightness; templates store darkness.
                    // Values far outside 0..255 are held to +-1000000 so
                    // that no later sum can overflow.
                    int dark = 255 - v;
                    colour[(r * 16 + k) * 3 + c] = dark;
                    int &g = grey[r * 16 + k];
                    if (c == 0) {
                        g = dark;
                    } else {
                        g += dark;
                        if (c == 2) g /= 3;
                    }
                    sum += dark;
                }
            }
        }
        // The grey template is centred on the colour mean, as the live
        // sample is in grey matching.
        int mean = sum / kValues;
        for (int i = 0; i < kValues; i++) colour[i] -= mean;
        patpow[slot][h] = template_norm(colour, kValues);
        for (int i = 0; i < kCells; i++) grey[i] -= mean;
        patpowBW[slot][h] = template_norm(grey, kCells);
    }
    std::fclose(fp);

    patf[slot] = 1;
    pattern_num++;
    return slot;
}

extern "C" int mvFreePatt(int id) { return set_state(id, 0); }
extern "C" int mvActivatePatt(int id) { return set_state(id, 1); }
extern "C" int mvDeactivatePatt(int id) { return set_state(id, 2); }
