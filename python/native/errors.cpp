#include "python/native/errors.hpp"

namespace py = pybind11;

namespace quarn::native {

void raise_quarn_error(core::EResult result, const Where& where) {
    const py::object error_type = py::module_::import("pyquarn.errors").attr("QuarnError");
    const py::object code =
        py::module_::import("_quarn").attr("EResult")(static_cast<unsigned>(result));
    auto optional = [](const std::optional<uint64_t>& value) -> py::object {
        return value ? py::object(py::int_(*value)) : py::object(py::none());
    };
    const py::object error =
        error_type(code, where.name, optional(where.block), optional(where.offset));
    PyErr_SetObject(error_type.ptr(), error.ptr());
    throw py::error_already_set();
}

} // namespace quarn::native
