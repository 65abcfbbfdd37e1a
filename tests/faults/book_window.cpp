#include "book_window.h"

#include "phone_books.h"

#include <QFile>
#include <QSettings>
#include <QThread>

#include <sys/stat.h>

namespace tarvik::e2e {
namespace {

constexpr int kColumnWidths[] = {100, 100, 100, 60};
// Below the header's top edge, inside any style's header.
constexpr int kHeaderClickY = 8;

} // namespace

BookWindowRun::BookWindowRun(int entries, const QStringList& simArgs,
                             const std::function<void(Sandbox&)>& setUp) {
    if (!x.started()) {
        failure_ = "no Xvfb";
        return;
    }
    QFile book(box.programDir() + "phones.dat");
    if (!book.open(QIODevice::WriteOnly) || book.write(bigPhoneBook(entries)) < 0) {
        failure_ = "cannot write the phone book";
        return;
    }
    book.close();
    {
        QSettings list(box.path("config/Tarvik/PhoneList.ini"), QSettings::IniFormat);
        list.setValue("Columns/Order", "0,1,2,3");
        QStringList sizes;
        for (const int width : kColumnWidths)
            sizes << QString::number(width);
        list.setValue("Columns/Sizes", sizes.join(','));
    }
    if (setUp) setUp(box);
    sim = std::make_unique<Simulator>(box, simArgs);
    app = std::make_unique<Tarvik>(box, x.clientEnvironment());
    if (sim->waitFor("rx", "ATM2+S64=1", 15s).kind.isEmpty()) {
        failure_ = "the program did not initialise the modem";
        return;
    }
    mainWindow = x.findWindow(kMainWindowTitle, 15000);
    if (mainWindow.isEmpty()) {
        failure_ = "no main window on the X server";
        return;
    }
    // The start line: the program has finished starting.
    eventually([this] { return !box.logLines().isEmpty(); });
}

QString BookWindowRun::pressPhones(milliseconds timeout) {
    focus(mainWindow);
    key("p");
    return waitForBook(timeout);
}

QString BookWindowRun::waitForBook(milliseconds timeout) const {
    return x.findWindow("^Phone Book$", static_cast<int>(timeout.count()));
}

void BookWindowRun::focus(const QString& window) const {
    x.xdotool({"windowfocus", "--sync", window});
}

void BookWindowRun::key(const QString& name) const {
    x.xdotool({"key", name});
}

void BookWindowRun::clickHeader(const QString& book, int column) {
    pointAtHeader(book, column);
    press();
    release();
}

void BookWindowRun::pointAtHeader(const QString& book, int column) {
    int left = 0;
    for (int i = 0; i < column; ++i)
        left += kColumnWidths[i];
    x.xdotool({"mousemove", "--window", book, QString::number(left + kColumnWidths[column] / 2),
               QString::number(kHeaderClickY)});
}

void BookWindowRun::press() {
    x.xdotool({"mousedown", "1"});
}

void BookWindowRun::release() {
    x.xdotool({"mouseup", "1"});
}

QByteArray BookWindowRun::bookFileStamp() const {
    struct stat info {};
    if (::stat(QFile::encodeName(box.programDir() + "phones.dat").constData(), &info) != 0)
        return {};
    return QByteArray::number(static_cast<qlonglong>(info.st_size)) + " " +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_sec)) + "." +
           QByteArray::number(static_cast<qlonglong>(info.st_mtim.tv_nsec)) + " " +
           QByteArray::number(static_cast<qulonglong>(info.st_ino));
}

qint64 busyUntil(qint64 pid, const QElapsedTimer& clock, milliseconds quiet, milliseconds timeout) {
    const qint64 start = clock.elapsed();
    double used = processFigures(pid).cpuSeconds;
    qint64 last = start;
    while (clock.elapsed() - last < quiet.count() && clock.elapsed() - start < timeout.count()) {
        QThread::msleep(5);
        const double now = processFigures(pid).cpuSeconds;
        if (now < 0) break;
        if (now > used) {
            used = now;
            last = clock.elapsed();
        }
    }
    return last;
}

} // namespace tarvik::e2e
