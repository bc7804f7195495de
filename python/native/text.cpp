#include "python/native/text.hpp"

#include <cstdint>
#include <cstring>
#include <vector>

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

py::list pairs_to_python(const binarize::MetadataPairs& pairs) {
    py::list out;
    for (const auto& [key, value] : pairs)
        out.append(py::make_tuple(to_text(key), to_text(value)));
    return out;
}

binarize::MetadataPairs pairs_from_python(py::handle pairs) {
    binarize::MetadataPairs out;
    for (const py::handle pair : pairs) {
        const auto items = py::reinterpret_borrow<py::tuple>(pair);
        out.emplace_back(from_text(items[0]), from_text(items[1]));
    }
    return out;
}

namespace {

bool is_ascii(std::string_view text) {
    // Eight bytes at a time: G-code blocks are tens of kilobytes.
    uint64_t bits = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        bits |= word;
    }
    for (; i < text.size(); ++i)
        bits |= static_cast<unsigned char>(text[i]);
    return (bits & 0x8080808080808080u) == 0;
}

} // namespace

std::optional<std::string_view> ascii_bytes(py::handle text) {
    PyObject* object = text.ptr();
    if (!PyUnicode_Check(object))
        return std::nullopt;
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(object) != 0)
        throw py::error_already_set();
#endif
    if (!PyUnicode_IS_ASCII(object))
        return std::nullopt;
    return std::string_view(static_cast<const char*>(PyUnicode_DATA(object)),
                            static_cast<size_t>(PyUnicode_GET_LENGTH(object)));
}

py::list split_lines(std::string_view text) {
    // One pass finds every line end; a last line without a line feed ends with the text.
    std::vector<size_t> ends;
    ends.reserve(text.size() / 16 + 1);
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin;
         (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at))));
         ++at)
        ends.push_back(static_cast<size_t>(at - begin));
    if (!text.empty() && text.back() != '\n')
        ends.push_back(text.size());
    // Filled in place: lines are many and short, so each append would cost as much as the
    // string it adds.
    py::list lines(ends.size());
    // G-code is nearly always ASCII: then each line is copied into a new compact string,
    // with none of the decoder's work.
    const bool ascii = is_ascii(text);
    size_t start = 0;
    for (size_t i = 0; i < ends.size(); ++i) {
        const size_t length = ends[i] - start;
        PyObject* item = nullptr;
        if (ascii) {
            item = PyUnicode_New(static_cast<Py_ssize_t>(length), 127);
            if (item == nullptr)
                throw py::error_already_set();
            std::memcpy(PyUnicode_1BYTE_DATA(item), begin + start, length);
        } else {
            item = to_text(text.substr(start, length)).release().ptr();
        }
        PyList_SET_ITEM(lines.ptr(), static_cast<Py_ssize_t>(i), item);
        start = ends[i] + 1;
    }
    return lines;
}

} // namespace quarn::native
