#include "python/native/text.hpp"

#include <algorithm>
#include <cstring>

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
    size_t count = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n')
        ++count;
    // Filled in place: lines are many and short, so each append would cost as much as the
    // string it adds.
    py::list lines(count);
    // G-code is nearly always ASCII: then each line is copied into a new compact string,
    // with none of the decoder's work.
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    for (size_t i = 0; i < count; ++i) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        PyObject* item = nullptr;
        if (ascii) {
            item = PyUnicode_New(static_cast<Py_ssize_t>(line.size()), 127);
            if (item == nullptr)
                throw py::error_already_set();
            std::memcpy(PyUnicode_1BYTE_DATA(item), line.data(), line.size());
        } else {
            item = to_text(line).release().ptr();
        }
        PyList_SET_ITEM(lines.ptr(), static_cast<Py_ssize_t>(i), item);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

} // namespace quarn::native
