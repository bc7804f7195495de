#include "python/registrations.hpp"

namespace quarn::python {

void register_core(pybind11::module_&) {}

} // namespace quarn::python
