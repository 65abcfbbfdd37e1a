#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace tarvik {

// The exit statuses of sysexits.h that systemd and scripts understand.
inline constexpr int kExitUsage = 64;       // EX_USAGE: a bad command line
inline constexpr int kExitUnavailable = 69; // EX_UNAVAILABLE: the device is another TARVIK's
inline constexpr int kExitCantCreate = 73;  // EX_CANTCREAT: no state folder
inline constexpr int kExitConfig = 78;      // EX_CONFIG: no readable configuration

inline const QString kDefaultConfig = QStringLiteral("/etc/tarvik/tarvik.ini");
inline const QString kDefaultState = QStringLiteral("/var/lib/tarvik");

struct ServiceOptions {
    QString config = kDefaultConfig;
    // The call log's and the phone book's folder, with a trailing '/'.
    QString stateDir = kDefaultState + QLatin1Char('/');
};

// What the command line asks for: options to run with, or an exit status with
// the text to print (the help on standard output for status 0).
struct ParsedCommandLine {
    std::optional<ServiceOptions> options;
    int exitStatus = 0;
    QString text;
};
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// Why the configuration cannot be used, or nothing when it can be read. The
// file is only ever read.
std::optional<QString> configProblem(const QString& path);
// Makes the state folder when missing; why it cannot be used, or nothing.
std::optional<QString> stateProblem(const QString& dir);

} // namespace tarvik
