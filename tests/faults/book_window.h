#pragma once
// The real program on a private X server with a big phone book, for the test
// of calls that ring while the book opens and for the benchmark: the phone book
// window opened with its key, sorted by clicks on its header and closed with
// Escape, and the moment the program has done what a key asked.
#include "e2e_support.h"
#include "x11_support.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>

namespace tarvik::e2e {

class BookWindowRun {
public:
    // A book of `entries` made-up entries (bigPhoneBook), the list's columns
    // 100, 100, 100 and 60 pixels wide, the settings `setUp` writes, the
    // simulator with `simArgs` and the program on the X server.
    BookWindowRun(int entries, const QStringList& simArgs,
                  const std::function<void(Sandbox&)>& setUp = {});
    // Empty once the program has initialised the modem and shows its main
    // window; else what went wrong.
    const QString& failure() const { return failure_; }

    // Presses p (the Phones key) on the main window; the phone book's window
    // once it is on the screen, or "".
    QString pressPhones(milliseconds timeout = 60s);
    QString waitForBook(milliseconds timeout = 60s) const;
    void focus(const QString& window) const;
    // A key to the focused window, by its X name.
    void key(const QString& name) const;
    // A click on the header of the list's column (0 Phone, 1 Name, 2 Notes, 3 Status).
    void clickHeader(const QString& book, int column);
    // The pointer over the header, and the halves of a click where it is: a
    // header sorts on the release.
    void pointAtHeader(const QString& book, int column);
    void press();
    void release();
    // The phone book file's size, modification time and inode, to see a save replace it.
    QByteArray bookFileStamp() const;

    XServer x;
    Sandbox box;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<Tarvik> app;
    QString mainWindow;

private:
    QString failure_;
};

// When, in milliseconds of `clock`, the process last used the processor before
// it stayed idle for `quiet` (or `timeout` passed): the end of the work a key
// started. Never earlier than the moment of the call.
qint64 busyUntil(qint64 pid, const QElapsedTimer& clock, milliseconds quiet = 300ms,
                 milliseconds timeout = 60s);

} // namespace tarvik::e2e
