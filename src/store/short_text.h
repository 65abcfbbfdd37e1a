#pragma once
#include <QByteArray>
#include <QString>

namespace tarvik {

// The longest text the system keeps in a setting, a modem line or a log line.
inline constexpr qsizetype kShortTextMax = 255;

inline QByteArray cutShort(const QByteArray& text) {
    return text.left(kShortTextMax);
}
inline QString cutShort(const QString& text) {
    return text.left(kShortTextMax);
}

} // namespace tarvik
