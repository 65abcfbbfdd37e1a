#pragma once
#include <QLoggingCategory>

// Diagnostics for whoever looks into a problem, off by default; switched on with
// QT_LOGGING_RULES, for example QT_LOGGING_RULES='tarvik.*.debug=true'. The call
// log stays the user's record of calls.
namespace tarvik {

// Every line sent to and received from the modem.
Q_DECLARE_LOGGING_CATEGORY(lcModem)
// The serial port: opened, refused, closed, lost.
Q_DECLARE_LOGGING_CATEGORY(lcSerial)
// The NCID server: listening, clients coming and going.
Q_DECLARE_LOGGING_CATEGORY(lcNet)
// The desktop: tray, window activation, notifications.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

} // namespace tarvik
