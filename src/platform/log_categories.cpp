#include "platform/log_categories.h"

namespace tarvik {

Q_LOGGING_CATEGORY(lcModem, "tarvik.modem", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSerial, "tarvik.serial", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNet, "tarvik.net", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDesktop, "tarvik.desktop", QtInfoMsg)

} // namespace tarvik
