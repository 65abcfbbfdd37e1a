// Figures of the phone book window on the real program, on a private X server,
// for books of 1,000, 10,000 and 100,000 made-up entries: how long the Phones
// key takes until the book is on the screen and the program is idle again, a
// click on the Name header to sort it and a second one to reverse it, Escape to
// close and save it; the program's peak memory; and, with the book opened again
// while a call rings three times, how long after its third ring the call is
// answered (AnswerOnRing is 3). Each figure is the median of three runs.
// Prints them; it is not a test.
//   bench_phone_book [ENTRIES...]   (default 1000 10000 100000)
#include "book_window.h"
#include "phone_books.h"

#include "store/codepage.h"
#include "ui/widgets/list_text_order.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace tarvik;
using namespace tarvik::e2e;

namespace {

constexpr int kNameColumn = 1;
constexpr unsigned long kBeyondDoubleClickMs = 600;
constexpr int kRuns = 3;

// The file's records in byte order, each as a save writes it (an unknown status
// becomes NORMAL): the same entries whatever the order of the rows.
QList<QByteArray> sortedRecords(const QByteArray& file) {
    QList<QByteArray> records;
    for (qsizetype at = 0; at + kPhoneRecordSize <= file.size(); at += kPhoneRecordSize) {
        PhoneItem item = decodePhoneRecord(file.constData() + at);
        item.Status = TextToStatus(StatusToText(item.Status));
        records << encodePhoneRecord(item);
    }
    std::sort(records.begin(), records.end());
    return records;
}

// The names of a saved book are in descending order: the two clicks sorted it.
bool namesDescend(const QByteArray& file) {
    const ListTextOrder order;
    QString previous;
    for (qsizetype at = 0; at + kPhoneRecordSize <= file.size(); at += kPhoneRecordSize) {
        const QString name = fromCp1251(decodePhoneRecord(file.constData() + at).Name);
        if (at > 0 && order.compare(previous, name) < 0) return false;
        previous = name;
    }
    return true;
}

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Figures {
    qint64 shownMs = -1, openMs = -1, sortMs = -1, reverseMs = -1, savedMs = -1, closeMs = -1;
    qint64 reopenMs = -1, answerAfterRingMs = -1;
    int ringsBeforeAnswer = -1;
    // VmHWM at the start, after the open, after the sorts, after the save, at the end.
    long startPeakKiB = -1, openPeakKiB = -1, sortPeakKiB = -1, savePeakKiB = -1, peakKiB = -1;
    bool sameEntries = false, sortedByName = false;
};

// The call's third ring and the answer after it; the rings the modem sent before the answer.
void timeTheAnswer(const Simulator& sim, Figures& f) {
    const TranscriptEntry answer = sim.waitFor("rx", "AT+SR", 20s);
    const TranscriptEntry third = sim.waitFor("tx", "RING", 20s, 3);
    if (answer.kind.isEmpty() || third.kind.isEmpty()) return;
    f.answerAfterRingMs = answer.ms - third.ms;
    f.ringsBeforeAnswer = 0;
    for (const TranscriptEntry& entry : sim.transcript())
        if (entry.kind == "tx" && entry.text.startsWith("RING") && entry.ms < answer.ms)
            ++f.ringsBeforeAnswer;
}

Figures measure(int entries) {
    Figures f;
    BookWindowRun run(entries, {"--rings", "3", "--gap", "300ms"},
                      [](Sandbox& box) { box.setParam("AnswerOnRing", "3"); });
    if (!run.failure().isEmpty()) {
        std::printf("%d entries: %s\n", entries, qPrintable(run.failure()));
        return f;
    }
    const QString bookPath = run.box.programDir() + "phones.dat";
    const QByteArray written = fileContents(bookPath);
    const qint64 pid = run.app->pid();
    f.startPeakKiB = processFigures(pid).peakKiB;
    QElapsedTimer clock;

    run.focus(run.mainWindow);
    clock.start();
    run.key("p");
    const QString book = run.waitForBook();
    if (book.isEmpty()) return f;
    f.shownMs = clock.elapsed();
    f.openMs = busyUntil(pid, clock);
    f.openPeakKiB = processFigures(pid).peakKiB;

    run.pointAtHeader(book, kNameColumn);
    run.press();
    clock.restart();
    run.release();
    f.sortMs = busyUntil(pid, clock);
    // Not so soon that the press makes a double click.
    QThread::msleep(kBeyondDoubleClickMs);
    run.press();
    clock.restart();
    run.release();
    f.reverseMs = busyUntil(pid, clock);
    f.sortPeakKiB = processFigures(pid).peakKiB;

    const QByteArray stamp = run.bookFileStamp();
    run.focus(book);
    clock.restart();
    run.key("Escape");
    if (eventually([&] { return run.bookFileStamp() != stamp; }, 60s)) f.savedMs = clock.elapsed();
    f.closeMs = busyUntil(pid, clock);
    f.savePeakKiB = processFigures(pid).peakKiB;
    const QByteArray saved = fileContents(bookPath);
    f.sameEntries = sortedRecords(saved) == sortedRecords(written);
    f.sortedByName = namesDescend(saved);

    // Again, now sorted by Name descending, with a call ringing meanwhile.
    run.focus(run.mainWindow);
    clock.restart();
    run.key("p");
    run.sim->command("call");
    if (!run.waitForBook().isEmpty()) f.reopenMs = busyUntil(pid, clock);
    timeTheAnswer(*run.sim, f);
    f.peakKiB = processFigures(pid).peakKiB;
    run.app->terminate(60s);
    return f;
}

// The middle of the runs' values of one figure.
template <class T> T median(const std::vector<Figures>& runs, T Figures::*figure) {
    std::vector<T> values;
    for (const Figures& run : runs)
        values.push_back(run.*figure);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Figures medianOf(const std::vector<Figures>& runs) {
    Figures m;
    for (qint64 Figures::*figure :
         {&Figures::shownMs, &Figures::openMs, &Figures::sortMs, &Figures::reverseMs,
          &Figures::savedMs, &Figures::closeMs, &Figures::reopenMs, &Figures::answerAfterRingMs})
        m.*figure = median(runs, figure);
    for (long Figures::*figure : {&Figures::startPeakKiB, &Figures::openPeakKiB,
                                  &Figures::sortPeakKiB, &Figures::savePeakKiB, &Figures::peakKiB})
        m.*figure = median(runs, figure);
    m.ringsBeforeAnswer = median(runs, &Figures::ringsBeforeAnswer);
    m.sameEntries =
        std::all_of(runs.begin(), runs.end(), [](const Figures& f) { return f.sameEntries; });
    m.sortedByName =
        std::all_of(runs.begin(), runs.end(), [](const Figures& f) { return f.sortedByName; });
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << std::max(1, std::atoi(argv[i]));
    if (sizes.isEmpty()) sizes = {1000, 10000, 100000};

    std::printf("Times in ms from the key or click: until the window is on the screen (shown),\n"
                "the file is replaced (saved), or the program is idle again (the others).\n"
                "Peak memory (VmHWM) in MiB at the start and after each step. The reopen is\n"
                "sorted by Name descending, with a call ringing three times meanwhile.\n");
    std::printf("%8s %6s %6s %6s %7s %6s %6s %6s | %6s %6s %6s %6s %6s | %s\n", "entries", "shown",
                "open", "sort", "reverse", "saved", "closed", "reopen", "start", "open", "sorts",
                "save", "end", "answer after the 3rd ring (rings before it)");
    bool allSaved = true;
    for (const int entries : sizes) {
        std::vector<Figures> runs;
        for (int run = 0; run < kRuns; ++run)
            runs.push_back(measure(entries));
        const Figures f = medianOf(runs);
        allSaved = allSaved && f.sameEntries && f.sortedByName;
        const auto mib = [](long kib) { return static_cast<double>(kib) / 1024.0; };
        std::printf("%8d %6lld %6lld %6lld %7lld %6lld %6lld %6lld | %6.1f %6.1f %6.1f %6.1f "
                    "%6.1f | %lld ms (%d)%s%s\n",
                    entries, f.shownMs, f.openMs, f.sortMs, f.reverseMs, f.savedMs, f.closeMs,
                    f.reopenMs, mib(f.startPeakKiB), mib(f.openPeakKiB), mib(f.sortPeakKiB),
                    mib(f.savePeakKiB), mib(f.peakKiB), f.answerAfterRingMs, f.ringsBeforeAnswer,
                    f.sameEntries ? "" : "  SAVED ENTRIES DIFFER",
                    f.sortedByName ? "" : "  SAVED OUT OF NAME ORDER");
        std::fflush(stdout);
    }
    return allSaved ? 0 : 1;
}
