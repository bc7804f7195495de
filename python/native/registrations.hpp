// One function per group of registrations of pyquarn._native.
#pragma once

#include <pybind11/pybind11.h>

namespace quarn::native {

void register_stream(pybind11::module_& m);
void register_binary_reader(pybind11::module_& m);
void register_ascii_reader(pybind11::module_& m);
void register_conversions(pybind11::module_& m);
void register_writer(pybind11::module_& m);

} // namespace quarn::native
