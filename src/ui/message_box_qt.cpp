#include "ui/message_box_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace tarvik {
namespace {

BoxResult showModal(const BoxRequest& request) {
    const QMessageBox::Icon icon = request.icon == BoxIcon::Error      ? QMessageBox::Critical
                                   : request.icon == BoxIcon::Question ? QMessageBox::Question
                                                                       : QMessageBox::NoIcon;
    const QMessageBox::StandardButtons buttons = request.buttons == BoxButtons::YesNo
                                                     ? (QMessageBox::Yes | QMessageBox::No)
                                                     : QMessageBox::Ok;
    QMessageBox box(icon, request.caption, request.text, buttons, QApplication::activeWindow());
    // The main window stays on top; a box without an owner must not hide under it.
    if (!box.parentWidget()) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int answer = box.exec();
    if (request.buttons == BoxButtons::Ok) return BoxResult::Ok;
    return answer == QMessageBox::Yes ? BoxResult::Yes : BoxResult::No;
}

} // namespace

BoxResult QtMessagePresenter::present(const BoxRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return showModal(request);
    BoxResult result = BoxResult::Ok;
    QMetaObject::invokeMethod(
        app, [&request] { return showModal(request); }, Qt::BlockingQueuedConnection, &result);
    return result;
}

} // namespace tarvik
