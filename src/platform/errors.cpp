#include "platform/errors.h"

#include "platform/messages.h"

#include <mutex>

namespace tarvik {
namespace {
std::mutex titleLock;
QString title = QStringLiteral("TARVIK");
} // namespace

void setApplicationTitle(const QString& newTitle) {
    std::lock_guard guard(titleLock);
    title = newTitle;
}

QString applicationTitle() {
    std::lock_guard guard(titleLock);
    return title;
}

void ReportException(std::exception_ptr error) {
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    if (!message.endsWith(QLatin1Char('.'))) message += QLatin1Char('.');
    try {
        ShowBox({applicationTitle(), message, BoxIcon::Error, BoxButtons::Ok});
    } catch (...) {
        // A failing presenter must not take the program down with it.
    }
}

} // namespace tarvik
