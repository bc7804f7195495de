#include "python/registrations.hpp"

namespace quarn::python {

void register_enums(pybind11::module_&) {}

} // namespace quarn::python
