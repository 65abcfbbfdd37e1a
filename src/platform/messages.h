#pragma once
#include <QString>
#include <memory>

namespace tarvik {

enum class BoxIcon { None, Error, Question };
enum class BoxButtons { Ok, YesNo };
enum class BoxResult { Ok, Yes, No };

struct BoxRequest {
    QString caption;
    QString text;
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
};

// Every message box of the program goes through one presenter, so tests can
// record boxes instead of blocking on a modal window.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    virtual BoxResult present(const BoxRequest& request) = 0;
};

// Installs the presenter used from now on and returns the previous one. Without
// one installed, boxes are written to standard error and answered Ok/Yes.
std::shared_ptr<MessagePresenter> setMessagePresenter(std::shared_ptr<MessagePresenter> presenter);

BoxResult ShowBox(const BoxRequest& request);

// The system's usual report of an expected failure: OK button, no icon.
void ErrorBox(const QString& caption, const QString& text);

} // namespace tarvik
