#include "service/journal.h"

#include "modem/modem_recovery.h"
#include "modem/reported_calls.h"
#include "store/codepage.h"

#include <cstdio>

namespace tarvik {
namespace {

// One line per record: line breaks and other control characters become blanks.
QByteArray oneLine(const QString& text) {
    QString line = text;
    for (QChar& ch : line)
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f) ch = QLatin1Char(' ');
    return line.toUtf8();
}

void write(Priority priority, const QByteArray& utf8) {
    const QByteArray line =
        '<' + QByteArray::number(static_cast<int>(priority)) + '>' + utf8 + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const Priority priority = type == QtDebugMsg     ? Priority::Debug
                              : type == QtInfoMsg    ? Priority::Info
                              : type == QtWarningMsg ? Priority::Warning
                                                     : Priority::Error;
    const QString category = context.category && qstrcmp(context.category, "default") != 0
                                 ? QString::fromUtf8(context.category) + QStringLiteral(": ")
                                 : QString();
    write(priority, oneLine(category + message));
}

// What the status bar says when the line needs looking after.
bool isWarningStatus(const QByteArray& text) {
    return text == kModemLostStatus || text == kModemSilentText;
}

} // namespace

void journal(Priority priority, const QByteArray& cp1251Text) {
    write(priority, oneLine(fromCp1251(cp1251Text)));
}

void journal(Priority priority, const QString& text) {
    write(priority, oneLine(text));
}

void routeQtMessagesToJournal() {
    qInstallMessageHandler(qtMessage);
}

BoxResult JournalPresenter::present(const BoxRequest& request) {
    journal(Priority::Error, request.caption + QStringLiteral(": ") + request.text);
    return request.buttons == BoxButtons::YesNo ? BoxResult::Yes : BoxResult::Ok;
}

JournalView::JournalView() {
    for (int i = 0; i < kLedCount; ++i)
        row_[static_cast<std::size_t>(i)] = &digits_[static_cast<std::size_t>(i)];
}

void JournalView::setStatusText(const QByteArray& text) {
    status_ = text;
    if (text == lastTold_) return;
    lastTold_ = text;
    journal(isWarningStatus(text) ? Priority::Warning : Priority::Info, text);
}

void JournalView::showForCaller(const QByteArray& notice) {
    // A modem that reports with the rings puts the same words in the status bar.
    if (notice.isEmpty() || notice == lastTold_) return;
    lastTold_ = notice;
    journal(Priority::Info, notice);
}

} // namespace tarvik
