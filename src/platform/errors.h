#pragma once
#include <QString>
#include <stdexcept>
#include <utility>

namespace tarvik {

// An error the program raises itself and leaves to the default error report.
class TarvikError : public std::runtime_error {
public:
    explicit TarvikError(const QString& message)
        : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// The application's title, used as the caption of the default error report.
void setApplicationTitle(const QString& title);
QString applicationTitle();

// The default error report: a box with the application's title, an error icon
// and the message with a full stop added. The program goes on.
void ReportException(std::exception_ptr error);

// Runs an entry point from the toolkit and routes what escapes it to the report.
template <class Fn> void runWithErrorReport(Fn&& fn) noexcept {
    try {
        fn();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// A slot body that hands whatever escapes it to the report, so no exception
// ever unwinds through the toolkit.
template <class Fn> auto withErrorReport(Fn fn) {
    return [fn = std::move(fn)]() mutable { runWithErrorReport(fn); };
}

} // namespace tarvik
