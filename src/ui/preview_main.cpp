// tarvik-preview: the main window on its own, without a modem. It loads the
// user's settings, puts a number on the LEDs and reports on standard output
// what a driving script needs: where the tray icon is, when the window is
// shown or hidden, and the lines the display would log.
#include "modem/main_view.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "store/settings.h"
#include "ui/message_box_qt.h"
#include "ui/tarvik_application.h"
#include "ui/tarvik_frm.h"

#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

using namespace tarvik;

namespace {

// A port that only remembers whether it is open.
class PreviewPort final : public PortSwitch {
public:
    explicit PreviewPort(bool open)
        : open_(open) {}
    bool isOpen() const override { return open_; }
    void setOpen(bool open) override { open_ = open; }

private:
    bool open_;
};

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Watches the window's visibility and reports its changes.
class VisibilityReporter final : public QObject {
public:
    explicit VisibilityReporter(QWidget* window)
        : QObject(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) say(QStringLiteral("SHOWN"));
        if (event->type() == QEvent::Hide) say(QStringLiteral("HIDDEN"));
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    TarvikApplication app(argc, argv);
    const QString title = QStringLiteral("TARVIK [Courier TREVA 2.51+]");
    setApplicationTitle(title);
    setMessagePresenter(std::make_shared<QtMessagePresenter>());

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Shows the TARVIK main window."));
    options.addHelpOption();
    const QCommandLineOption leds(QStringLiteral("leds"), QStringLiteral("Text for the LEDs."),
                                  QStringLiteral("text"), QStringLiteral("o 1234567"));
    const QCommandLineOption caller(QStringLiteral("caller"),
                                    QStringLiteral("A caller-ID line to show (shows the window)."),
                                    QStringLiteral("line"));
    const QCommandLineOption show(QStringLiteral("show"),
                                  QStringLiteral("Show the window at once."));
    const QCommandLineOption portClosed(QStringLiteral("port-closed"),
                                        QStringLiteral("Start with the port closed."));
    const QCommandLineOption patience(QStringLiteral("tray-wait"),
                                      QStringLiteral("How long to wait for a tray, in ms."),
                                      QStringLiteral("ms"), QStringLiteral("3000"));
    options.addOptions({leds, caller, show, portClosed, patience});
    options.process(app);

    SettingsRecord settings;
    runWithErrorReport([&] { LoadSaveSettings(kLoadSettings, settings, ProgramDir()); });

    TMainForm form(settings);
    PreviewPort port(!options.isSet(portClosed));
    form.setPort(&port);
    form.setLogSink([](const QByteArray& line) {
        say(QStringLiteral("LOG ") + QString::fromLatin1(line.toHex()));
    });
    new VisibilityReporter(&form);
    QObject::connect(&form, &TMainForm::formClosed, &app, &QCoreApplication::quit);

    form.setStatusText("Waiting for a call...");
    form.SetUpFromSettings(port.isOpen());
    form.ShowOnLeds(options.value(leds).toLatin1());

    QObject::connect(&form.desktop(), &DesktopPresence::trayDecided, &form, [&](bool available) {
        say(available ? QStringLiteral("TRAY yes") : QStringLiteral("TRAY no"));
        if (options.isSet(show)) form.showForCaller(QByteArray());
        if (options.isSet(caller))
            runWithErrorReport([&] { form.ShowCallerId(options.value(caller).toLatin1()); });
    });
    // Where the icon sits once the tray host has embedded it.
    QTimer trayWhere;
    QObject::connect(&trayWhere, &QTimer::timeout, &form, [&] {
        const QRect where = form.TrayIco->geometry();
        if (!form.TrayIco->isVisible() || where.isEmpty()) return;
        say(QStringLiteral("TRAYICON %1 %2 %3 %4")
                .arg(where.x())
                .arg(where.y())
                .arg(where.width())
                .arg(where.height()));
        trayWhere.stop();
    });
    trayWhere.start(100);
    form.desktop().startTray({}, std::chrono::milliseconds(options.value(patience).toInt()));
    return app.exec();
}
