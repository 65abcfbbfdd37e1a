// tarvikd: the line watched from boot, without a desktop. The call log and the
// phone book live in the state folder, everything the desktop would show goes
// to the journal, and the configuration is only ever read.
#include "engine/line_engine.h"
#include "platform/errors.h"
#include "platform/termination.h"
#include "service/journal.h"
#include "service/service_options.h"
#include "service/systemd_notify.h"
#include "store/keyvalue.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace tarvik {
namespace {

const QString kHolder = QStringLiteral("the TARVIK service (tarvikd)");

// Nobody is at the desk to hear a ring.
class NoSound final : public RingSound {
public:
    void beep() override {}
    void playWav(const QString&) override {}
};

// Each reading of the phone book, at the start, on SIGHUP and when the file changes.
void journalPhoneBook(CallerBook& book) {
    book.onLoaded = [](int entries) {
        journal(Priority::Info, QStringLiteral("Phone book: %1 entries").arg(entries));
    };
    book.onError = [&book](const QString& error) {
        journal(Priority::Warning,
                QStringLiteral("Phone book: %1 (%2 entries kept)").arg(error).arg(book.size()));
    };
}

int run(const ServiceOptions& options) {
    if (const auto problem = configProblem(options.config)) {
        journal(Priority::Error, *problem);
        return kExitConfig;
    }
    if (const auto problem = stateProblem(options.stateDir)) {
        journal(Priority::Error, *problem);
        return kExitCantCreate;
    }
    setApplicationTitle(QStringLiteral("tarvikd"));
    setMessagePresenter(std::make_shared<JournalPresenter>());

    const StoreKey config(options.config);
    SettingsRecord settings;
    QList<QByteArray> complaints;
    loadSettings(settings, config, options.stateDir,
                 [&complaints](const QByteArray& m) { complaints.append(m); });

    JournalView view;
    NoSound sound;
    LineEngine engine(settings, view, sound);
    // A server starts before its USB modem is found, or while ModemManager probes it.
    engine.retryUnopenedPort = true;
    engine.onLogged = [](LogLevel level, const QByteArray& line) {
        journal(level == LogLevel::Warning ? Priority::Warning : Priority::Info, line);
    };
    for (const QByteArray& complaint : complaints)
        runWithErrorReport([&] { engine.writeLog(complaint, LogLevel::Warning); });

    const TerminationSignals termination([&](int signal) {
        if (signal == SIGHUP) return engine.phoneBook().reload();
        notifySystemd("STOPPING=1");
        engine.close();
        QCoreApplication::quit();
    });

    journal(Priority::Info, QStringLiteral("tarvikd " TARVIK_VERSION ": %1, log %2")
                                .arg(options.config, settings.fnLog));
    LineEngine::Start start = LineEngine::Start::Closed;
    runWithErrorReport([&] { start = engine.start(options.config, kHolder); });
    switch (start) {
    case LineEngine::Start::Closed:
        return 0;
    case LineEngine::Start::DeviceTaken:
        journal(Priority::Error, QStringLiteral("the modem is in use by %1; one TARVIK per modem")
                                     .arg(engine.otherHolder()));
        return kExitUnavailable;
    case LineEngine::Start::Ready:
        break;
    }
    journalPhoneBook(engine.phoneBook());
    engine.phoneBook().load(options.stateDir);
    runWithErrorReport([&] { engine.watch(); });
    notifySystemd("READY=1");
    return QCoreApplication::exec();
}

} // namespace
} // namespace tarvik

int main(int argc, char** argv) {
    tarvik::TerminationSignals::blockEarly();
    const QCoreApplication app(argc, argv);
    tarvik::routeQtMessagesToJournal();
    const tarvik::ParsedCommandLine parsed = tarvik::parseCommandLine(app.arguments());
    if (!parsed.options) {
        std::fputs(parsed.text.toLocal8Bit().constData(), parsed.exitStatus ? stderr : stdout);
        return parsed.exitStatus;
    }
    return tarvik::run(*parsed.options);
}
