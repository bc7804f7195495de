// Every public header of the quarn library: the format core, block contents, the two
// whole-file conversions and the heatshrink codec. Link quarn::quarn.
#pragma once

#include "quarn/binarize/binarizer.hpp"
#include "quarn/binarize/compression.hpp"
#include "quarn/binarize/gcode_block.hpp"
#include "quarn/binarize/meatpack.hpp"
#include "quarn/binarize/metadata_block.hpp"
#include "quarn/binarize/thumbnail_block.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/convert/gcode_reader.hpp"
#include "quarn/core/checksum.hpp"
#include "quarn/core/format.hpp"
#include "quarn/core/headers.hpp"
#include "quarn/core/navigation.hpp"
#include "quarn/core/result.hpp"
#include "quarn/heatshrink/heatshrink.hpp"
#include "quarn/version.hpp"
