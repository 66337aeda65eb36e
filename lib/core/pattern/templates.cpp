/* templates.cpp - pattern templates: reading, building, matching, writing. */
#include "templates.h"

#include "replace_file.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mvcore {

namespace {

constexpr int kValueLimit = 1000000;

// Norm of a template; sums of squares are taken in 64 bits so that a file
// with values far outside 0..255 cannot overflow (for values in range the
// sum fits in 32 bits and the result is the same). A flat template gets a
// tiny norm so that matching never divides by zero.
double template_norm(const int *v, int n)
{
    int64_t sum = 0;
    for (int i = 0; i < n; i++) sum += (int64_t)v[i] * v[i];
    double norm = std::sqrt((double)sum);
    return norm == 0.0 ? 1e-7 : norm;
}

// One whole number as "%d" reads it (blanks, a sign, decimal digits, up to
// the first other character), held to +-kValueLimit as it is read:
// scanf's result for a number past the range of int is undefined.
bool read_number(FILE *fp, int *out)
{
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

}  // namespace

void template_from_values(const int values[kFileValues], PatternTemplate *t)
{
    for (int h = 0; h < kBlocks; h++) {
        int *colour = t->colour[h];
        int *grey = t->grey[h];
        const int *v = values + h * kValues;
        int sum = 0;
        for (int c = 0; c < 3; c++) {
            for (int cell = 0; cell < kCells; cell++) {
                int x = v[c * kCells + cell];
                if (x > kValueLimit) x = kValueLimit;
                if (x < -kValueLimit) x = -kValueLimit;
                // Files store brightness; templates store darkness.
                const int dark = 255 - x;
                colour[cell * 3 + c] = dark;
                int &g = grey[cell];
                if (c == 0) {
                    g = dark;
                } else {
                    g += dark;
                    if (c == 2) g /= 3;
                }
                sum += dark;
            }
        }
        // The grey template is centred on the colour mean, as the live
        // sample is in grey matching.
        const int mean = sum / kValues;
        for (int i = 0; i < kValues; i++) colour[i] -= mean;
        t->colour_norm[h] = template_norm(colour, kValues);
        for (int i = 0; i < kCells; i++) grey[i] -= mean;
        t->grey_norm[h] = template_norm(grey, kCells);
    }
}

MvError read_pattern_values(const char *path, int values[kFileValues])
{
    FILE *fp = std::fopen(path, "r");
    if (fp == nullptr) return MV_ERROR_NOT_FOUND;
    for (int i = 0; i < kFileValues; i++) {
        if (!read_number(fp, &values[i])) {
            std::fclose(fp);
            return MV_ERROR_FORMAT;
        }
    }
    std::fclose(fp);
    return MV_ERROR_NONE;
}

int match_sample(const unsigned char *sample, const MatchEntry *entries, int count, bool grey,
                 int *id, int *direction, double *confidence)
{
    int sum = 0;
    for (int i = 0; i < kValues; i++) sum += 255 - sample[i];
    const int ave = sum / kValues;

    int in[kValues];
    const int n = grey ? kCells : kValues;
    if (!grey) {
        for (int i = 0; i < kValues; i++) in[i] = 255 - sample[i] - ave;
    } else {
        for (int i = 0; i < kCells; i++)
            in[i] = (765 - sample[i * 3] - sample[i * 3 + 1] - sample[i * 3 + 2]) / 3 - ave;
    }
    int sq = 0;   // at most 768 * 255^2: fits in 32 bits
    for (int i = 0; i < n; i++) sq += in[i] * in[i];
    const double norm = std::sqrt((double)sq);
    if (norm == 0.0) {
        *id = 0;
        *direction = 0;
        *confidence = -1.0;
        return -1;
    }

    double best = 0.0;
    int best_id = -1, best_dir = -1;
    for (int e = 0; e < count; e++) {
        const PatternTemplate &p = *entries[e].t;
        for (int b = 0; b < kBlocks; b++) {
            const int *t = grey ? p.grey[b] : p.colour[b];
            const double power = grey ? p.grey_norm[b] : p.colour_norm[b];
            // 64 bits: templates from files with values outside 0..255 can
            // exceed 32 bits; for values in range the sum is the same.
            int64_t dot = 0;
            for (int i = 0; i < n; i++) dot += (int64_t)in[i] * t[i];
            const double value = (double)dot / power / norm;
            if (value > best) {   // strictly: ties keep the earlier entry/block
                best = value;
                best_id = entries[e].id;
                best_dir = b;
            }
        }
    }
    *id = best_id;
    *direction = best_dir;
    *confidence = best;
    return 0;
}

bool write_pattern_file(const char *path, const unsigned char samples[kBlocks][kValues])
{
    // Written beside the old file and renamed over it only when complete.
    FileReplacement file;
    if (!begin_replace(path, &file)) return false;
    for (int b = 0; b < kBlocks; b++) {
        for (int c = 0; c < 3; c++) {
            for (int r = 0; r < 16; r++) {
                for (int k = 0; k < 16; k++)
                    std::fprintf(file.fp, "%4d", samples[b][(r * 16 + k) * 3 + c]);
                std::fputc('\n', file.fp);
            }
        }
        std::fputc('\n', file.fp);
    }
    return finish_replace(&file);
}

}  // namespace mvcore
