#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tarvik {

// Windows-1251 is the single code page of modem lines, log lines and phone book
// fields; conversion happens only where bytes meet widgets or INI text.
QString fromCp1251(QByteArrayView bytes);

// Characters that Windows-1251 cannot hold become '?'.
QByteArray toCp1251(QStringView text);

} // namespace tarvik
