#include "quarn/convert/detail/metadata_extraction.hpp"

#include <algorithm>

#include "quarn/convert/detail/base64.hpp"
#include "quarn/convert/detail/slicer_layout.hpp"
#include "quarn/convert/detail/text.hpp"
#include "quarn/core/detail/try.hpp"

namespace quarn::convert {

using core::EResult;

namespace {

// Most lines are G-code and start with none of the keys' first letters: one lookup rejects
// them before any key is compared.
constexpr std::array<bool, 256> key_first_letters = [] {
    std::array<bool, 256> letters{};
    for (const MetadataKey& k : metadata_keys)
        letters[static_cast<unsigned char>(k.key.front())] = true;
    return letters;
}();

// The announced length of a thumbnail is reserved up front, but only as far as a real
// preview image could need: a forged line must not make us allocate gigabytes.
constexpr uint64_t max_thumbnail_reserve = 16u << 20;

std::string_view after(std::string_view text, size_t position, size_t length) {
    return text.substr(position + length);
}

// The length of "<tag><word>" when the payload starts with it for one of the tags (setting
// format to the tag's), npos when none matches.
size_t thumbnail_marker(std::string_view payload, std::string_view word, uint16_t& format) {
    for (uint16_t f = 0; f < layout::thumbnail_tags.size(); ++f) {
        const std::string_view tag = layout::thumbnail_tags[f];
        if (payload.starts_with(tag) && payload.substr(tag.size()).starts_with(word)) {
            format = f;
            return tag.size() + word.size();
        }
    }
    return std::string_view::npos;
}

} // namespace

bool MetadataExtractor::consume() {
    m_consumed.push_back(m_line_index);
    return true;
}

bool MetadataExtractor::fail() {
    m_result = EResult::InvalidAsciiGCodeFile;
    return false;
}

bool MetadataExtractor::handle_line(std::string_view text) {
    if (m_result != EResult::Success)
        return false;
    const bool ok = handle_payload(line_payload(text));
    ++m_line_index;
    return ok;
}

// The first rule that applies decides; a line no rule takes is G-code and is not consumed.
bool MetadataExtractor::handle_payload(std::string_view payload) {
    if (payload.empty())
        return consume();
    if (const size_t at = payload.find(layout::producer_marker); at != payload.npos)
        return handle_producer(trim_blanks(after(payload, at, layout::producer_marker.size())));
    if (m_line_index < layout::preparer_line_limit) {
        if (const size_t at = payload.find(layout::preparer_marker); at != payload.npos) {
            const std::string_view who =
                trim_blanks(after(payload, at, layout::preparer_marker.size()));
            if (!who.empty())
                m_data.file_metadata.raw_data.emplace_back(layout::prepared_by_key, who);
            return consume();
        }
    }
    if (handle_keys(payload))
        return true;
    if (m_in_config)
        return handle_config_entry(payload);
    if (key_value(payload, layout::config_key) == layout::config_begin) {
        m_in_config = true;
        return consume();
    }
    if (m_thumbnail_open)
        return handle_thumbnail_line(payload);
    uint16_t format = 0;
    if (const size_t marker = thumbnail_marker(payload, layout::thumbnail_begin, format);
        marker != payload.npos)
        return handle_thumbnail_begin(payload, format, marker);
    return true;
}

bool MetadataExtractor::handle_producer(std::string_view rest) {
    std::string_view version = rest;
    std::string_view date;
    if (const size_t space = rest.find(' '); space != rest.npos) {
        version = rest.substr(0, space);
        if (rest.substr(space).starts_with(layout::produced_on_separator))
            date = rest.substr(space + layout::produced_on_separator.size());
    }
    auto& pairs = m_data.file_metadata.raw_data;
    pairs.emplace_back(layout::producer_key, std::string(layout::producer_prefix) += version);
    if (!date.empty())
        pairs.emplace_back(layout::produced_on_key, date);
    m_producer_seen = true;
    return consume();
}

bool MetadataExtractor::handle_keys(std::string_view payload) {
    if (!key_first_letters[static_cast<unsigned char>(payload.front())])
        return false;
    for (size_t i = 0; i < metadata_keys.size(); ++i) {
        const std::string_view value = key_value(payload, metadata_keys[i].key);
        if (value.empty())
            continue;
        if (m_captured[i].empty())
            m_captured[i] = value;
        // Inside the configuration block such a line is also a configuration entry.
        if (!(metadata_keys[i].also_in_config && m_in_config))
            return consume();
    }
    return false;
}

bool MetadataExtractor::handle_config_entry(std::string_view payload) {
    if (key_value(payload, layout::config_key) == layout::config_end) {
        m_in_config = false;
        return consume();
    }
    const size_t equals = payload.find('=');
    if (equals == payload.npos)
        return fail();
    const std::string_view key = trim_blanks(payload.substr(0, equals));
    if (key.empty())
        return fail();
    m_data.slicer_metadata.raw_data.emplace_back(key, trim_blanks(payload.substr(equals + 1)));
    return consume();
}

bool MetadataExtractor::handle_thumbnail_line(std::string_view payload) {
    uint16_t format = 0;
    if (thumbnail_marker(payload, layout::thumbnail_end, format) != std::string_view::npos) {
        if (format != m_thumbnail_format)
            return fail();
        m_thumbnail_open = false;
        if (m_collected_text.size() != m_expected_length)
            return fail();
        m_data.thumbnails.back().data = base64_decode(m_collected_text);
        m_collected_text.clear();
        return consume();
    }
    if (m_collected_text.size() + payload.size() > m_expected_length)
        return fail();
    m_collected_text.append(payload);
    return consume();
}

bool MetadataExtractor::handle_thumbnail_begin(std::string_view payload, uint16_t format,
                                               size_t marker_size) {
    m_thumbnail_open = true;
    m_thumbnail_format = format;
    binarize::ThumbnailBlock& thumbnail = m_data.thumbnails.emplace_back();
    thumbnail.params.format = format;

    const std::string_view params = trim_blanks(payload.substr(marker_size));
    const size_t space = params.find(' ');
    if (space == params.npos)
        return fail();
    const std::string_view dims = trim_blanks(params.substr(0, space));
    const std::string_view size = trim_blanks(params.substr(space + 1));
    uint16_t width = 0;
    uint16_t height = 0;
    if (const size_t x = dims.find(layout::thumbnail_size_separator); x != dims.npos) {
        width = read_decimal<uint16_t>(dims.substr(0, x));
        height = read_decimal<uint16_t>(dims.substr(x + 1));
    }
    if (width == 0 || height == 0)
        return fail();
    thumbnail.params.width = width;
    thumbnail.params.height = height;
    m_expected_length = read_decimal<uint64_t>(size);
    if (m_expected_length == 0)
        return fail();
    m_collected_text.clear();
    m_collected_text.reserve(std::min(m_expected_length, max_thumbnail_reserve));
    return consume();
}

EResult MetadataExtractor::finish() const {
    QUARN_TRY(m_result);
    if (m_in_config || m_thumbnail_open || !m_producer_seen)
        return EResult::InvalidAsciiGCodeFile;
    return EResult::Success;
}

void MetadataExtractor::build_metadata() {
    auto build = [this](const auto& indices, binarize::MetadataPairs& out) {
        for (const size_t i : indices)
            if (!m_captured[i].empty())
                out.emplace_back(metadata_keys[i].key, m_captured[i]);
    };
    build(printer_key_indices, m_data.printer_metadata.raw_data);
    build(print_key_indices, m_data.print_metadata.raw_data);
}

} // namespace quarn::convert
