// The one way a failure is passed on: QUARN_TRY(expr) evaluates expr, an EResult, once and
// returns it from the enclosing function unless it is Success. It expands to the plain
// compare-and-return a hand-written check would be, so it costs nothing on hot paths.
#pragma once

#include "quarn/core/result.hpp"

#define QUARN_TRY(expr)                                                                            \
    do {                                                                                           \
        if (const ::quarn::core::EResult quarn_try_result_ = (expr);                               \
            quarn_try_result_ != ::quarn::core::EResult::Success)                                  \
            return quarn_try_result_;                                                              \
    } while (false)
