#include "serial/com_names.h"

#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>

namespace tarvik::comm {
namespace {
constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kCom = "COM";
} // namespace

std::string ComPortName(int number) {
    return std::string(kDevicePrefix) + std::string(kCom) + std::to_string(number);
}

std::optional<int> ComNumberOf(std::string_view name) {
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
        name.remove_prefix(kDevicePrefix.size());
    if (name.size() <= kCom.size()) return std::nullopt;
    for (std::size_t i = 0; i < kCom.size(); ++i)
        if ((name[i] & ~0x20) != kCom[i]) return std::nullopt;
    name.remove_prefix(kCom.size());
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size() || number < 0) return std::nullopt;
    return number;
}

std::string ComDevicePath(int number) {
    if (number < 1) return {};
    const QString entry = portsDir() + QStringLiteral("/COM") + QString::number(number);
    const QFileInfo info(entry);
    if (info.isSymLink()) return QFile::encodeName(entry).toStdString();
    if (info.isFile()) {
        QFile file(entry);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray path = file.readLine(4096).trimmed();
            if (!path.isEmpty()) return path.toStdString();
        }
    } else if (info.exists()) {
        return QFile::encodeName(entry).toStdString(); // a device node placed there
    }
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::string portDevicePath(int comNumber, const std::string& device) {
    return device.empty() ? ComDevicePath(comNumber) : device;
}

std::string portName(int comNumber, const std::string& device) {
    return device.empty() ? std::string(kCom) + std::to_string(comNumber) : device;
}

} // namespace tarvik::comm
