#include "ui/message_box_qt.h"

#include "platform/ui_handover.h"
#include "ui/widgets/window_stacking.h"

#include <QApplication>
#include <QMessageBox>

namespace tarvik {
namespace {

BoxResult showModal(const BoxRequest& request) {
    const QMessageBox::Icon icon = request.icon == BoxIcon::Error      ? QMessageBox::Critical
                                   : request.icon == BoxIcon::Question ? QMessageBox::Question
                                                                       : QMessageBox::NoIcon;
    const QMessageBox::StandardButtons buttons = request.buttons == BoxButtons::YesNo
                                                     ? (QMessageBox::Yes | QMessageBox::No)
                                                     : QMessageBox::Ok;
    // The program's texts break lines with a lone CR, which a plain-text box would not show.
    QString text = request.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QWidget* owner = QApplication::activeWindow();
    QMessageBox box(icon, request.caption, text, buttons, owner);
    stackAboveOwner(box, owner);
    const int answer = box.exec();
    if (request.buttons == BoxButtons::Ok) return BoxResult::Ok;
    return answer == QMessageBox::Yes ? BoxResult::Yes : BoxResult::No;
}

} // namespace

BoxResult QtMessagePresenter::present(const BoxRequest& request) {
    // Through the hand-over, so a box from a worker shows even while the user
    // interface thread waits for that worker.
    BoxResult result = BoxResult::Ok;
    runOnUiThread([&] { result = showModal(request); });
    return result;
}

} // namespace tarvik
