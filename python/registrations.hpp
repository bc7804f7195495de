// One function per group of registrations, called by the module in this order.
//
// Every name, signature and docstring they register (the module's docstring too) is a golden
// copy: scripts and the hand-kept stub python/_quarn.pyi depend on each word, spelling slips
// included, so none is to be "corrected".
#pragma once

#include <pybind11/pybind11.h>

namespace quarn::python {

void register_file_wrapper(pybind11::module_& m);
void register_enums(pybind11::module_& m);
void register_core(pybind11::module_& m);
void register_blocks(pybind11::module_& m);
void register_binarizer(pybind11::module_& m);

} // namespace quarn::python
