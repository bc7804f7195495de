// Pass 1 of the ASCII to binary conversion: recognises the slicer's metadata comments line
// by line, collects them into the Binarizer's data and notes which lines carried them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/binarize/binarizer.hpp"
#include "quarn/convert/detail/metadata_keys.hpp"
#include "quarn/core/result.hpp"

namespace quarn::convert {

class MetadataExtractor {
public:
    explicit MetadataExtractor(binarize::BinaryData& data) : m_data(data) {}

    // Handles one line; false once a failure has been recorded (the caller stops reading).
    bool handle_line(std::string_view text);

    // The first failure recorded, else the end-of-pass checks: a configuration block or a
    // thumbnail still open, or no producer line seen, is InvalidAsciiGCodeFile.
    core::EResult finish() const;

    // Fills the printer and print metadata from the captured key values.
    void build_metadata();

    // Indices of the lines taken as metadata (or found empty), ascending.
    const std::vector<uint64_t>& consumed_lines() const { return m_consumed; }

private:
    bool handle_payload(std::string_view payload);
    bool consume();
    bool fail();
    bool handle_producer(std::string_view payload);
    bool handle_config_entry(std::string_view payload);
    bool handle_thumbnail_line(std::string_view payload);
    bool handle_thumbnail_begin(std::string_view payload, uint16_t format, size_t marker_size);
    // True when a key of the metadata table took the line.
    bool handle_keys(std::string_view payload);

    binarize::BinaryData& m_data;
    core::EResult m_result{core::EResult::Success};
    uint64_t m_line_index{0};
    std::vector<uint64_t> m_consumed;
    bool m_producer_seen{false};
    bool m_in_config{false};
    bool m_thumbnail_open{false};
    uint16_t m_thumbnail_format{0};
    uint64_t m_expected_length{0};
    std::string m_collected_text;
    std::array<std::string, metadata_keys.size()> m_captured;
};

} // namespace quarn::convert
