// FILEWrapper and the four functions that open, close, test and rewind it.
#include "python/file_wrapper.hpp"

#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "python/registrations.hpp"

namespace py = pybind11;

namespace quarn::python {

namespace {

FILEWrapper* open_file(const std::optional<std::string>& name,
                       const std::optional<std::string>& mode) {
    if (!name || !mode)
        throw py::type_error("open() requires a file name and a mode as str, not None");
    FILE* stream = std::fopen(name->c_str(), mode->c_str());
    if (stream == nullptr) {
        char message[100];
        const char* text = std::strerror(errno);
        std::strncpy(message, text, sizeof(message) - 1);
        message[sizeof(message) - 1] = '\0';
        throw std::runtime_error(message);
    }
    return new FILEWrapper(stream);
}

} // namespace

void register_file_wrapper(py::module_& m) {
    py::class_<FILEWrapper>(m, "FILEWrapper", "A FILE* wrapper to pass around in Python code");

    m.def("open", &open_file, "Open a gcode file to process using pyquarn", py::arg("name"),
          py::arg("mode"), py::return_value_policy::take_ownership);
    m.def(
        "close", [](FILEWrapper& file) { file.close(); }, "Close a previously opened file",
        py::arg("file"));
    m.def(
        "is_open", [](FILEWrapper& file) { return file.fp != nullptr; }, "Check if file is open",
        py::arg("file"));
    m.def(
        "rewind",
        [](FILEWrapper& file) {
            if (file.fp != nullptr)
                std::rewind(file.fp);
        },
        "Moves the file position indicator to the beginning of the given file stream");
}

} // namespace quarn::python
