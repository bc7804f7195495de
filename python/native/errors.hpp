// Failures of library calls become pyquarn.errors.QuarnError, with where they happened.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>

#include "quarn/core/result.hpp"

namespace quarn::native {

struct Where {
    pybind11::object name = pybind11::none(); // the path, or None
    std::optional<uint64_t> block;            // index of the block in the file
    std::optional<uint64_t> offset;           // offset of its header
};

// Sets QuarnError(result, name, block, offset) and throws error_already_set.
[[noreturn]] void raise_quarn_error(core::EResult result, const Where& where);

inline void check(core::EResult result, const Where& where) {
    if (result != core::EResult::Success)
        raise_quarn_error(result, where);
}

} // namespace quarn::native
