#include "store/keyvalue.h"

#include "platform/errors.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvik {
namespace {

QString keyName(const QString& section, const QString& name) {
    return section + QLatin1Char('/') + name;
}

} // namespace

QString mainKeyPath() {
    return tarvikConfigDir() + QStringLiteral("/Tarvik.ini");
}

QString phoneListKeyPath() {
    return tarvikConfigDir() + QStringLiteral("/PhoneList.ini");
}

StoreKey::StoreKey(const QString& iniPath)
    : path_(iniPath) {
    const QFileInfo info(path_);
    QDir().mkpath(info.absolutePath());
    if (!info.exists()) {
        QFile empty(path_);
        if (empty.open(QIODevice::WriteOnly)) empty.close();
    }
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
}

StoreKey::~StoreKey() = default;

bool StoreKey::valueExists(const QString& section, const QString& name) const {
    return settings_->contains(keyName(section, name));
}

bool StoreKey::sectionExists(const QString& section) const {
    return settings_->childGroups().contains(section);
}

std::optional<QString> StoreKey::readString(const QString& section, const QString& name) const {
    const QVariant value = settings_->value(keyName(section, name));
    if (!value.isValid()) return std::nullopt;
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (value.typeId() == QMetaType::QByteArray) return QString::fromUtf8(value.toByteArray());
    if (value.canConvert<QString>()) return value.toString();
    return std::nullopt;
}

void StoreKey::writeString(const QString& section, const QString& name, const QString& value) {
    settings_->setValue(keyName(section, name), value);
}

void StoreKey::flush() {
    settings_->sync();
    // A format error is about a line of the file as read (a hand edit, say); the
    // values were written all the same.
    if (settings_->status() == QSettings::AccessError)
        throw TarvikError(QStringLiteral("Failed to write the settings file %1").arg(path_));
}

} // namespace tarvik
