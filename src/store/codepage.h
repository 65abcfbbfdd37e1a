#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace tarvik {

// Windows-1251 is the single code page of modem lines, log lines and phone book
// fields; conversion happens only where bytes meet widgets or INI text.
QString fromCp1251(QByteArrayView bytes);

// Characters that Windows-1251 cannot hold become '?'.
QByteArray toCp1251(QStringView text);

// The bytes as UTF-8 text; nothing when they are not valid UTF-8. Peers on
// the network and some modems send UTF-8.
std::optional<QString> strictUtf8(QByteArrayView bytes);

} // namespace tarvik
