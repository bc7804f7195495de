#include "quarn/core/result.hpp"

#include <array>

namespace quarn::core {

namespace {

#define QUARN_MESSAGE(name, number, message) std::string_view{message},
// In numbering order: QUARN_ENUMERATION asserts that the table is.
constexpr std::array messages{QUARN_RESULTS(QUARN_MESSAGE)};
#undef QUARN_MESSAGE
static_assert(messages.size() == enumerators<EResult>.size());

} // namespace

std::string_view translate_result(EResult result) {
    const auto index = static_cast<size_t>(result);
    return index < messages.size() ? messages[index] : std::string_view{};
}

const char* version() { return reported_version; }

uint32_t quarn_version() { return current_format_version; }

} // namespace quarn::core
