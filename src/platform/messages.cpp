#include "platform/messages.h"

#include <cstdio>
#include <mutex>

namespace tarvik {
namespace {

class StderrPresenter final : public MessagePresenter {
public:
    BoxResult present(const BoxRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(request.caption), qPrintable(request.text));
        return request.buttons == BoxButtons::YesNo ? BoxResult::Yes : BoxResult::Ok;
    }
};

std::mutex presenterLock;
std::shared_ptr<MessagePresenter> currentPresenter = std::make_shared<StderrPresenter>();

} // namespace

std::shared_ptr<MessagePresenter> setMessagePresenter(std::shared_ptr<MessagePresenter> presenter) {
    if (!presenter) presenter = std::make_shared<StderrPresenter>();
    std::lock_guard guard(presenterLock);
    std::swap(currentPresenter, presenter);
    return presenter;
}

BoxResult ShowBox(const BoxRequest& request) {
    std::shared_ptr<MessagePresenter> presenter;
    {
        std::lock_guard guard(presenterLock);
        presenter = currentPresenter;
    }
    return presenter->present(request);
}

void ErrorBox(const QString& caption, const QString& text) {
    ShowBox({caption, text, BoxIcon::None, BoxButtons::Ok});
}

} // namespace tarvik
