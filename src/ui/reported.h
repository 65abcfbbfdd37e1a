#pragma once
#include "platform/errors.h"

#include <utility>

namespace tarvik {

// A slot body that hands whatever escapes it to the default error report, so
// no exception ever unwinds through the toolkit.
template <class Fn> auto reported(Fn fn) {
    return [fn = std::move(fn)]() mutable { runReported(fn); };
}

} // namespace tarvik
