#include "service/service_options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik {
namespace {

const QString kUsage =
    QStringLiteral("Usage: tarvikd [--config FILE] [--state DIR]\n"
                   "TARVIK's service: watches the telephone line's modem without a desktop,\n"
                   "logs the calls and serves them to NCID clients.\n\n"
                   "  --config FILE  the settings, sections [Param] and [NCID] (default %1);\n"
                   "                 only ever read\n"
                   "  --state DIR    the call log and the phone book (default %2)\n"
                   "  --help         this text\n"
                   "  --version      the version\n\n"
                   "Signals: SIGTERM and SIGINT end it, SIGHUP reloads the phone book.\n");

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    ServiceOptions options;
    ParsedCommandLine parsed;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) return std::nullopt;
            return arguments[++i];
        };
        if (argument == QLatin1String("--help")) {
            parsed.text = kUsage.arg(kDefaultConfig, kDefaultState);
            return parsed;
        }
        if (argument == QLatin1String("--version")) {
            parsed.text = QStringLiteral("tarvikd " TARVIK_VERSION "\n");
            return parsed;
        }
        std::optional<QString> given;
        if (argument == QLatin1String("--config") && (given = value())) {
            options.config = *given;
        } else if (argument == QLatin1String("--state") && (given = value())) {
            options.stateDir = QDir::cleanPath(*given) + QLatin1Char('/');
        } else {
            parsed.exitStatus = kExitUsage;
            parsed.text = QStringLiteral("tarvikd: bad argument \"%1\"\n").arg(argument) +
                          kUsage.arg(kDefaultConfig, kDefaultState);
            return parsed;
        }
    }
    parsed.options = options;
    return parsed;
}

std::optional<QString> configProblem(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("the configuration %1 is not a file").arg(path);
    // Opened as the settings will be, to tell the system's reason.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("cannot read the configuration %1: %2")
            .arg(path, systemReason(errno));
    ::close(fd);
    return std::nullopt;
}

std::optional<QString> stateProblem(const QString& dir) {
    if (!QDir().mkpath(dir)) return QStringLiteral("cannot make the state folder %1").arg(dir);
    if (::access(QFile::encodeName(dir).constData(), W_OK) != 0)
        return QStringLiteral("cannot write to the state folder %1: %2")
            .arg(dir, systemReason(errno));
    return std::nullopt;
}

} // namespace tarvik
