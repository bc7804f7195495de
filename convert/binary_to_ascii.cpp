#include <string>
#include <string_view>
#include <vector>

#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/convert/detail/base64.hpp"
#include "quarn/convert/detail/slicer_layout.hpp"
#include "quarn/convert/detail/text.hpp"
#include "quarn/core/detail/stream.hpp"
#include "quarn/core/detail/try.hpp"
#include "quarn/core/navigation.hpp"

namespace quarn::convert {

using core::EBlockType;
using core::EResult;

namespace {

constexpr size_t checksum_buffer_size = 65535;
// Base64 text of a thumbnail is written in lines of this many characters.
constexpr size_t thumbnail_line_length = 78;

std::string_view first_value(const binarize::MetadataPairs& pairs, std::string_view key) {
    for (const auto& [k, v] : pairs)
        if (k == key)
            return v;
    return {};
}

bool has_key(const binarize::MetadataPairs& pairs, std::string_view key) {
    for (const auto& pair : pairs)
        if (pair.first == key)
            return true;
    return false;
}

template <typename... Parts>
void append(std::string& text, const Parts&... parts) {
    (text += ... += parts);
}

// "; key = value" and a line feed: the layout of every key/value comment.
void append_pair(std::string& text, std::string_view key, std::string_view value) {
    append(text, layout::comment_lead, key, layout::pair_separator, value, '\n');
}

// Reads blocks from the source and writes the ASCII layout to the destination: the head
// (producer, printer metadata, thumbnails), the G-code, then the print metadata and the
// configuration, which the file stores before the G-code.
class AsciiWriter {
public:
    AsciiWriter(FILE& in, FILE& out, bool verify) : m_in(in), m_out(out) {
        if (verify)
            m_buffer.assign(checksum_buffer_size, 0);
    }

    EResult run();

private:
    EResult next_header() {
        return core::read_next_block_header(m_in, m_file_header, m_block, buffer(),
                                            m_buffer.size());
    }
    bool is(EBlockType type) const { return m_block.type == static_cast<uint16_t>(type); }
    uint8_t* buffer() { return m_buffer.empty() ? nullptr : m_buffer.data(); }

    EResult write(std::string_view text) {
        return core::write_exact(m_out, text.data(), text.size()) ? EResult::Success
                                                                  : EResult::WriteError;
    }
    template <typename Block>
    EResult read(Block& block) {
        return block.read_data(m_in, m_file_header, m_block);
    }
    // Reads the current block, which the layout requires to be of the given type.
    template <typename Block>
    EResult read(EBlockType type, Block& block) {
        return is(type) ? read(block) : EResult::InvalidSequenceOfBlocks;
    }

    EResult write_head();
    EResult write_thumbnails(long& print_metadata_at);
    EResult write_gcode_blocks(long source_size);
    EResult write_tail();

    EResult write_producer(const binarize::MetadataPairs& pairs);
    EResult write_metadata(const binarize::MetadataPairs& pairs, std::string_view before = {},
                           std::string_view after = {});
    EResult write_thumbnail(const binarize::ThumbnailBlock& thumbnail);
    EResult write_gcode(const std::string& text);

    FILE& m_in;
    FILE& m_out;
    std::vector<uint8_t> m_buffer;
    core::FileHeader m_file_header;
    core::BlockHeader m_block;
    std::string m_text; // output of one block, reused
};

EResult AsciiWriter::run() {
    // Validation checks the magic, the header and the block order before anything is written.
    QUARN_TRY(core::is_valid_binary_gcode(m_in, true, nullptr, 0));
    std::fseek(&m_in, 0, SEEK_END);
    const long source_size = std::ftell(&m_in);
    std::rewind(&m_in);
    QUARN_TRY(core::read_header(m_in, m_file_header, nullptr));
    QUARN_TRY(next_header());

    QUARN_TRY(write_head());
    // The print metadata follows the thumbnails in the file but the G-code in the text:
    // remember where it starts, and come back for it.
    long print_metadata_at = 0;
    QUARN_TRY(write_thumbnails(print_metadata_at));
    QUARN_TRY(write_gcode_blocks(source_size));
    if (std::fseek(&m_in, print_metadata_at, SEEK_SET) != 0)
        return EResult::ReadError;
    return write_tail();
}

// From the first block: the producer lines when the file metadata is there, then the printer
// metadata.
EResult AsciiWriter::write_head() {
    if (is(EBlockType::FileMetadata)) {
        binarize::FileMetadataBlock file_metadata;
        QUARN_TRY(read(file_metadata));
        QUARN_TRY(write_producer(file_metadata.raw_data));
        QUARN_TRY(next_header());
    }
    binarize::PrinterMetadataBlock printer;
    QUARN_TRY(read(EBlockType::PrinterMetadata, printer));
    return write_metadata(printer.raw_data);
}

// From the block after the printer metadata: every thumbnail and the blank line closing the
// head. Leaves the position in the block after them, whose header starts at print_metadata_at.
EResult AsciiWriter::write_thumbnails(long& print_metadata_at) {
    print_metadata_at = std::ftell(&m_in);
    QUARN_TRY(next_header());
    while (is(EBlockType::Thumbnail)) {
        binarize::ThumbnailBlock thumbnail;
        QUARN_TRY(read(thumbnail));
        QUARN_TRY(write_thumbnail(thumbnail));
        print_metadata_at = std::ftell(&m_in);
        QUARN_TRY(next_header());
    }
    return write("\n");
}

// From the block after the thumbnails: finds the first G-code block and writes it and those
// that follow it, up to the end of the source.
EResult AsciiWriter::write_gcode_blocks(long source_size) {
    if (core::skip_block(m_in, m_file_header, m_block) != EResult::Success)
        return EResult::ReadError;
    QUARN_TRY(core::read_next_block_header(m_in, m_file_header, m_block, EBlockType::GCode,
                                           buffer(), m_buffer.size()));
    do {
        binarize::GCodeBlock block;
        QUARN_TRY(read(block));
        QUARN_TRY(write_gcode(block.raw_data));
        if (std::ftell(&m_in) == source_size)
            return EResult::Success;
        QUARN_TRY(next_header());
    } while (is(EBlockType::GCode));
    return EResult::Success;
}

// From the print metadata's header: the print metadata and the configuration block.
EResult AsciiWriter::write_tail() {
    QUARN_TRY(next_header());
    binarize::PrintMetadataBlock print;
    QUARN_TRY(read(EBlockType::PrintMetadata, print));
    QUARN_TRY(write_metadata(print.raw_data, "\n"));

    QUARN_TRY(next_header());
    binarize::SlicerMetadataBlock slicer;
    QUARN_TRY(read(EBlockType::SlicerMetadata, slicer));
    std::string begin = "\n";
    append_pair(begin, layout::config_key, layout::config_begin);
    std::string end;
    append_pair(end, layout::config_key, layout::config_end);
    end += '\n';
    return write_metadata(slicer.raw_data, begin, end);
}

EResult AsciiWriter::write_producer(const binarize::MetadataPairs& pairs) {
    std::string text;
    append(text, layout::comment_lead, layout::generated_by,
           has_key(pairs, layout::producer_key) ? first_value(pairs, layout::producer_key)
                                                : "Unknown");
    if (has_key(pairs, layout::produced_on_key))
        append(text, layout::produced_on_separator, first_value(pairs, layout::produced_on_key));
    if (has_key(pairs, layout::prepared_by_key))
        append(text, '\n', layout::comment_lead, layout::preparer_marker, ' ',
               first_value(pairs, layout::prepared_by_key));
    text += "\n\n\n";
    return write(text);
}

EResult AsciiWriter::write_metadata(const binarize::MetadataPairs& pairs, std::string_view before,
                                    std::string_view after) {
    m_text.assign(before);
    for (const auto& [key, value] : pairs)
        append_pair(m_text, key, value);
    m_text += after;
    return write(m_text);
}

// "<tag> begin WxH L", the base64 text in lines, "<tag> end", set apart by empty comments.
EResult AsciiWriter::write_thumbnail(const binarize::ThumbnailBlock& thumbnail) {
    const std::string_view tag = layout::thumbnail_tags.at(thumbnail.params.format);
    const std::string encoded = base64_encode(thumbnail.data);
    std::string begin = "\n;\n";
    append(begin, layout::comment_lead, tag, layout::thumbnail_begin, ' ',
           std::to_string(thumbnail.params.width), layout::thumbnail_size_separator,
           std::to_string(thumbnail.params.height), ' ', std::to_string(encoded.size()), '\n');
    QUARN_TRY(write(begin));
    for (size_t at = 0; at < encoded.size(); at += thumbnail_line_length) {
        std::string line(layout::comment_lead);
        line.append(encoded, at, thumbnail_line_length);
        line += '\n';
        QUARN_TRY(write(line));
    }
    std::string end;
    append(end, layout::comment_lead, tag, layout::thumbnail_end, "\n;\n");
    return write(end);
}

// Every line of the block's text with a non-empty payload, each ending in a line feed.
EResult AsciiWriter::write_gcode(const std::string& text) {
    m_text.clear();
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view piece = rest.substr(0, end);
        if (!line_payload(piece).empty())
            (m_text += piece) += '\n';
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return m_text.empty() ? EResult::Success : write(m_text);
}

} // namespace

EResult from_binary_to_ascii(FILE& infile, FILE& outfile, bool verify_checksum) {
    QUARN_TRY(AsciiWriter(infile, outfile, verify_checksum).run());
    return core::flush(outfile) ? EResult::Success : EResult::WriteError;
}

} // namespace quarn::convert
