#pragma once
#include "platform/messages.h"

namespace tarvik {

// Shows the program's boxes as modal message boxes. A box asked for from
// another thread is handed over to the user-interface thread, and the asking
// thread waits for the answer.
class QtMessagePresenter final : public MessagePresenter {
public:
    BoxResult present(const BoxRequest& request) override;
};

} // namespace tarvik
