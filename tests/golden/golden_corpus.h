// golden_corpus.h - the frames whose detection and pose outputs are recorded
// in golden_outputs.txt, and the recorder that prints those outputs.
//
// Every frame is made from a recipe (the project's renderer or a small
// generator below), so the corpus needs no stored images. recordGolden runs
// the whole corpus in all four processing/matching modes, with the
// frame-to-frame history carried over the frames in order, and returns the
// text: integers exactly, doubles as hexadecimal floats (bit for bit).
#ifndef MORVEX_TESTS_GOLDEN_CORPUS_H
#define MORVEX_TESTS_GOLDEN_CORPUS_H

#include <string>

namespace golden {

// Loads the bundled pattern and teaches two other pictures from rendered
// frames (temporary files under /tmp), then records every frame. Must run
// in a process whose pattern store is empty. resourceDir holds patt.lumo.
// Returns false with *error set when a pattern cannot be set up.
bool recordGolden(const std::string &resourceDir, std::string *out, std::string *error);

}  // namespace golden

#endif
