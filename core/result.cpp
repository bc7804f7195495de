#include "quarn/core/result.hpp"

#include <array>

namespace quarn::core {

namespace {

constexpr std::array<std::string_view, 30> messages = {
    "Success",
    "Read error",
    "Write error",
    "Invalid magic number",
    "Invalid version number",
    "Invalid checksum type",
    "Invalid block type",
    "Invalid compression type",
    "Invalid metadata encoding type",
    "Invalid gcode encoding type",
    "Data compression error",
    "Data uncompression error",
    "Metadata encoding error",
    "Metadata decoding error",
    "GCode encoding error",
    "GCode decoding error",
    "Block not found",
    "Invalid checksum",
    "Invalid thumbnail format",
    "Invalid thumbnail width",
    "Invalid thumbnail height",
    "Invalid thumbnail data size",
    "Invalid binary GCode file",
    "Invalid ascii GCode file",
    "Invalid sequence of blocks",
    "Invalid buffer",
    "Already binarized",
    "Missing printer metadata",
    "Missing print metadata",
    "Missing slicer metadata",
};

} // namespace

std::string_view translate_result(EResult result) {
    const auto index = static_cast<size_t>(result);
    return index < messages.size() ? messages[index] : std::string_view{};
}

const char* version() { return "0.2.1"; }

uint32_t quarn_version() { return current_format_version; }

} // namespace quarn::core
