// One function per group of registrations, called by the module in this order.
#pragma once

#include <pybind11/pybind11.h>

namespace quarn::python {

void register_file_wrapper(pybind11::module_& m);
void register_enums(pybind11::module_& m);
void register_core(pybind11::module_& m);
void register_blocks(pybind11::module_& m);
void register_binarizer(pybind11::module_& m);

} // namespace quarn::python
