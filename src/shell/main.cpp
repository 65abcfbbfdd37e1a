// The program body: one copy only, the main window hidden in the tray, the message loop.
#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/single_instance.h"
#include "platform/termination.h"
#include "shell/main_controller.h"
#include "shell/platform_choice.h"
#include "ui/message_box_qt.h"
#include "ui/tarvik_application.h"
#include "ui/tarvik_frm.h"

#include <memory>

namespace {

const QString kTitle = QStringLiteral("TARVIK [Courier TREVA 2.51+]");

// Tests and scripted runs set TARVIK_RECORD_BOXES to a file: boxes are written
// there instead of being shown, so nothing waits for a click.
void installPresenter() {
    const QString record = qEnvironmentVariable("TARVIK_RECORD_BOXES");
    if (record.isEmpty())
        tarvik::setMessagePresenter(std::make_shared<tarvik::QtMessagePresenter>());
    else
        tarvik::setMessagePresenter(std::make_shared<tarvik::FileRecordingPresenter>(record));
}

} // namespace

int main(int argc, char** argv) {
    tarvik::TerminationSignals::blockEarly();
    const QByteArray platformAsked = tarvik::choosePlatform();
    tarvik::TarvikApplication app(argc, argv);
    tarvik::tellPlatformFallback(platformAsked, QGuiApplication::platformName());
    installPresenter();

    const tarvik::SingleInstanceGuard guard(QStringLiteral("TARVIK_ISRUN"));
    if (!guard.firstCopy()) {
        tarvik::ErrorBox(QStringLiteral("Error"),
                         QStringLiteral("A One Copy of TARVIK is runing now."));
        return 0;
    }

    tarvik::setApplicationTitle(kTitle);

    tarvik::MainController controller;
    tarvik::TMainForm& form = controller.form();
    QObject::connect(&form, &tarvik::TMainForm::formClosed, &app, &QCoreApplication::quit);
    // Ended from outside (kill, logout): close as the user would, so nothing is lost.
    const tarvik::TerminationSignals termination([&form](int) { form.close(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form] { form.close(); });

    // The window's creation handler: what escapes it (a log on a full disk) is
    // reported, and the program goes on.
    tarvik::runWithErrorReport([&controller] { controller.FormCreate(); });
    // Closed during the start-up: the close has run, and no loop is there to end.
    if (controller.closed()) return 0;
    form.desktop().startTray();
    return QApplication::exec();
}
