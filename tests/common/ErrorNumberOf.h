#pragma once

#include "platform/RuntimeError.h"

namespace tovira::test {

// The number of the run-time error that the call raises, or 0 when it raises none.
template <typename Call> int ErrorNumberOf(Call&& call) {
    try {
        call();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

} // namespace tovira::test
