// common.h - what the files of the Python module share: its exceptions,
// paths and the library's error codes by name.
#ifndef MORVEX_PY_COMMON_H
#define MORVEX_PY_COMMON_H

#include "morvex.h"

#include <pybind11/pybind11.h>

#include <string>

namespace mvpy {

namespace py = pybind11;

// morvex.Error, made when the module loads.
extern PyObject *g_error;

// Raises morvex.Error(message) with .code naming the MvError `code`.
[[noreturn]] void raise(const std::string &message, int code);

// The calling thread's last library failure as morvex.Error; `context` goes
// in front unless the library's text already names `named`.
[[noreturn]] void raise_last(const std::string &context, const std::string &named = "");

// A str or os.PathLike as a path.
std::string path_of(py::handle p);

inline std::string quoted(const std::string &s) { return "\"" + s + "\""; }

}  // namespace mvpy

#endif
