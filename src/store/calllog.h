#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tarvik {

// The first character after a field of a locale's date or time format that is
// neither a letter, a quote nor a blank: the format's separator.
QChar formatSeparator(const QString& format, QChar fallback);

// "dd/mm hh:mm:ss " with the locale's date and time separators.
QByteArray logStamp(const QDateTime& when, const QLocale& locale = QLocale::system());

// Appends one stamped line (cut to 255 characters, ended by CR LF) to the log
// file at `path`, opening and closing it for the line. A log that can be neither
// appended to nor created shows "Error" / "Create Log-file!" and drops the line;
// a failing write throws TarvikError and leaves no part of the line in the file.
void WriteLogLine(const QString& path, const QByteArray& message);

} // namespace tarvik
