// FILEWrapper and the four functions that open, close, test and rewind it.
#include "python/file_wrapper.hpp"

#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "python/registrations.hpp"

#ifdef _WIN32
#include <cstdint>
#include <cwchar>
#endif

namespace py = pybind11;

namespace quarn::python {

namespace {

#ifdef _WIN32
// UTF-8 to UTF-16 for _wfopen. Every invalid, overlong, truncated or surrogate-range
// sequence and every code point above U+10FFFF becomes U+FFFD; code points above U+FFFF
// become surrogate pairs.
std::wstring utf8_to_utf16(const std::string& text) {
    constexpr wchar_t replacement = 0xFFFD;
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t code = 0;
        uint32_t smallest = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            smallest = 0x10000;
        } else {
            // A continuation byte without a lead, or a lead byte no UTF-8 sequence has.
            out.push_back(replacement);
            ++i;
            continue;
        }
        size_t taken = 1;
        while (taken < length && i + taken < text.size() &&
               (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
            ++taken;
        }
        i += taken;
        if (taken < length || code < smallest || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(replacement);
        } else if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
    }
    return out;
}

FILE* open_stream(const std::string& name, const std::string& mode) {
    return _wfopen(utf8_to_utf16(name).c_str(), utf8_to_utf16(mode).c_str());
}
#else
FILE* open_stream(const std::string& name, const std::string& mode) {
    return std::fopen(name.c_str(), mode.c_str());
}
#endif

// The C call would silently stop at the NUL and open another file than the one named.
void refuse_embedded_nul(const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos)
        throw py::value_error(std::string("embedded null character in ") + what);
}

std::unique_ptr<FILEWrapper> open_file(const std::optional<std::string>& name,
                                       const std::optional<std::string>& mode) {
    if (!name || !mode)
        throw py::type_error("open() requires a file name and a mode as str, not None");
    refuse_embedded_nul(*name, "file name");
    refuse_embedded_nul(*mode, "mode");
    FILE* stream = open_stream(*name, *mode);
    if (stream == nullptr) {
        const int error = errno;
        // The platform text, cut to 99 characters as a 100-character buffer would hold it.
        std::string message = std::strerror(error);
        if (message.size() > 99)
            message.resize(99);
        throw std::runtime_error(message);
    }
    return std::make_unique<FILEWrapper>(stream);
}

} // namespace

void register_file_wrapper(py::module_& m) {
    py::class_<FILEWrapper>(m, "FILEWrapper", "A FILE* wrapper to pass around in Python code");

    m.def("open", &open_file, "Open a gcode file to process using pyquarn", py::arg("name"),
          py::arg("mode"));
    m.def(
        "close", [](FILEWrapper* file) { ref_of(file).close(); }, "Close a previously opened file",
        py::arg("file"));
    m.def(
        "is_open", [](FILEWrapper* file) { return ref_of(file).fp != nullptr; },
        "Check if file is open", py::arg("file"));
    m.def(
        "rewind",
        [](FILEWrapper* file) {
            if (FILE* stream = ref_of(file).fp; stream != nullptr)
                std::rewind(stream);
        },
        "Moves the file position indicator to the beginning of the given file stream");
}

} // namespace quarn::python
