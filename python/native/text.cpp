#include "python/native/text.hpp"

namespace py = pybind11;

namespace quarn::native {

py::str to_text(std::string_view bytes) {
    PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                          "surrogateescape");
    if (text == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

std::string from_text(py::handle text) {
    if (!PyUnicode_Check(text.ptr()))
        throw py::type_error(std::string("expected str, got ") + Py_TYPE(text.ptr())->tp_name);
    PyObject* encoded = PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape");
    if (encoded == nullptr)
        throw py::error_already_set();
    const auto bytes = py::reinterpret_steal<py::bytes>(encoded);
    return std::string(bytes);
}

py::list split_lines(std::string_view text) {
    py::list lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.append(to_text(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

} // namespace quarn::native
