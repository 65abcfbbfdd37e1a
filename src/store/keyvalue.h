#pragma once
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace tarvik {

// One key of the per-user store: an INI file whose groups are the key's
// sections and whose values are all strings. Opening creates the folder and an
// empty file when missing. Writes reach the disk at flush() or destruction.
class StoreKey {
public:
    explicit StoreKey(const QString& iniPath);
    ~StoreKey();
    StoreKey(const StoreKey&) = delete;
    StoreKey& operator=(const StoreKey&) = delete;

    bool valueExists(const QString& section, const QString& name) const;
    // The stored text, or nothing when the value or its section is absent.
    std::optional<QString> readString(const QString& section, const QString& name) const;
    void writeString(const QString& section, const QString& name, const QString& value);
    bool sectionExists(const QString& section) const;

    // Writes pending changes; throws TarvikError when the file cannot be written.
    void flush();

private:
    QString path_;
    std::unique_ptr<QSettings> settings_;
};

// The two files of the per-user key: the main key and its "PhoneList" sub-key.
QString mainKeyPath();
QString phoneListKeyPath();

// Section names of the main key used by the window placements.
inline const QString kWinStateSection = QStringLiteral("WinState");
inline const QString kPhBookStateSection = QStringLiteral("PhBookState");
inline const QString kPhItemWinStateSection = QStringLiteral("PhItemWinState");
inline const QString kSettingsWinStateSection = QStringLiteral("SettingsWinState");
// Sections of the "PhoneList" sub-key.
inline const QString kColumnsSection = QStringLiteral("Columns");
inline const QString kSortSection = QStringLiteral("Sort");

} // namespace tarvik
