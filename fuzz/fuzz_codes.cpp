// The coded-marker decoder on arbitrary samples and options. Byte 0: the
// family (of the 20); byte 1: samples per cell (bits 0-1, 1..4), no
// sharpening (bit 2), no unsure band (bit 3), samples as raw 4-byte floats
// (bit 4: NaN, infinities, huge values) instead of one grey level a byte;
// byte 2: the correction asked (-1..8); byte 3: frame cells allowed light
// (-1..10); then the samples, reused from the start when they run out.
// Besides crashes it stops on an answer that does not hold together: an id,
// turn or count out of range, more corrected bits than allowed, a second
// call that differs, or (one sample per cell, no sharpening) a corrected
// count other than the data cells that differ from the code's drawing.
#include "code_family.h"
#include "code_index.h"
#include "decode.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void inconsistent(const char *what) {
    std::fprintf(stderr, "fuzz_codes: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5) return 0;
    const mvcore::CodeFamily &f = mvcore::codeFamilyAt(data[0] % mvcore::kCodeFamilyCount);
    mvcore::DecodeOptions opt;
    opt.samples_per_cell = (data[1] & 3) + 1;
    if (data[1] & 4) opt.sharpen = 0;
    if (data[1] & 8) opt.unsure_band = 0;
    const bool raw = data[1] & 16;
    opt.max_correction = data[2] % 10 - 1;
    opt.max_light_frame = data[3] % 12 - 1;
    const uint8_t *bytes = data + 4;
    const size_t nbytes = size - 4;

    const int n = f.grid * opt.samples_per_cell;
    std::vector<float> samples(n * n);
    size_t at = 0;
    for (float &s : samples) {
        if (raw) {
            uint8_t b[4];
            for (uint8_t &x : b) x = bytes[at++ % nbytes];
            std::memcpy(&s, b, 4);
        } else {
            s = bytes[at++ % nbytes];
        }
    }

    mvcore::CodeMatch m, again;
    const bool ok = mvcore::decodeCells(f, samples.data(), opt, &m);
    if (ok != mvcore::decodeCells(f, samples.data(), opt, &again)) inconsistent("a second call answers otherwise");
    if (!ok) return 0;
    if (again.id != m.id || again.turn != m.turn || again.corrected != m.corrected)
        inconsistent("a second call decodes otherwise");
    const int bound = opt.max_correction < 0 ? f.max_correction : std::min(opt.max_correction, f.max_correction);
    if (m.id < 0 || m.id >= f.code_count || m.turn < 0 || m.turn > 3) inconsistent("id or turn out of range");
    if (m.corrected < 0 || m.corrected > bound) inconsistent("more bits corrected than allowed");
    if (!(m.dark <= m.threshold && m.threshold <= m.light)) inconsistent("threshold outside the levels");
    if (opt.samples_per_cell == 1 && opt.sharpen == 0) {
        uint8_t drawn[16 * 16];
        mvcore::drawCells(f, m.id, m.turn, drawn);
        int differ = 0;
        for (int i = 0; i < f.grid * f.grid; i++) {
            const int r = i / f.grid, c = i % f.grid;
            if (r == 0 || c == 0 || r == f.grid - 1 || c == f.grid - 1) continue;
            differ += (samples[i] >= m.threshold) != (drawn[i] != 0);
        }
        if (differ != m.corrected) inconsistent("corrected bits differ from the cells that disagree");
    }
    return 0;
}
