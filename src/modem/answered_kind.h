#pragma once
#include "modem/caller_id_kind.h"
#include "modem/incoming_call.h"

namespace tarvik {

// The caller-ID firmware: a "RING" found in the idle pass runs the whole
// incoming-call sequence, answer and report included, in its waits.
class AnsweredKind final : public CallerIdKind {
public:
    explicit AnsweredKind(IncomingCalls& calls)
        : calls_(calls) {}

    void greet(bool) override {}
    void idle() override { calls_.detectRing(); }

private:
    IncomingCalls& calls_;
};

} // namespace tarvik
