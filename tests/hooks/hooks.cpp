// _quarn_hooks: internals of the library exposed to pytest only.
#include <pybind11/pybind11.h>

PYBIND11_MODULE(_quarn_hooks, m) { m.doc() = "Test-only access to quarn internals"; }
