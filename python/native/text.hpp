// Bytes of the file as Python text and back, losslessly: bytes that are not UTF-8 become
// lone surrogates (surrogateescape) and turn back into the same bytes.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <string_view>

#include "quarn/binarize/metadata_block.hpp"

namespace quarn::native {

pybind11::str to_text(std::string_view bytes);
// TypeError for anything but str.
std::string from_text(pybind11::handle text);
// The bytes of a str that holds only ASCII, which are its UTF-8, in place (valid while the
// str lives); nullopt for any other object.
std::optional<std::string_view> ascii_bytes(pybind11::handle text);
// Metadata pairs as a list of (key, value) tuples of str, and back from an iterable of such
// tuples (TypeError where a key or a value is not a str).
pybind11::list pairs_to_python(const binarize::MetadataPairs& pairs);
binarize::MetadataPairs pairs_from_python(pybind11::handle pairs);
// The lines of G-code text, split at line feeds, without them; a last line without one is
// a line too.
pybind11::list split_lines(std::string_view text);

} // namespace quarn::native
