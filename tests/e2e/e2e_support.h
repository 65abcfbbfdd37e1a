#pragma once
// Whole-program runs: the real tarvik and tarvikd binaries against tarvik-modemsim,
// each run in private configuration, runtime, data, program and lock folders.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tarvik::e2e {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// How long a wait may take before the test calls it a hang; it claims no speed.
constexpr milliseconds kHangGuard = 10s;

struct TranscriptEntry {
    long long ms = 0;          // since the simulator's start
    long long monotonicMs = 0; // CLOCK_MONOTONIC, as std::chrono::steady_clock counts
    QByteArray kind;           // rx (from the program), tx (to it), echo, raw, ev
    QByteArray text;           // with \r \n \xHH escapes as the simulator writes them
};

// Private folders for one run; the program runs from a copy in its own folder so
// that its phone book and default log land there.
class Sandbox {
public:
    Sandbox();
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString programDir() const { return path("program/"); }
    QString logPath() const { return path("program/tarvik.log"); }
    QString iniPath() const { return path("config/Tarvik/Tarvik.ini"); }
    QString boxesPath() const { return path("boxes.txt"); }
    // The simulator's link to its modem, COM2 in the ports folder.
    QString portLink() const { return path("config/Tarvik/ports/COM2"); }
    QProcessEnvironment environment() const;

    // Settings written into the store before the program starts.
    void setValue(const QString& section, const QString& name, const QString& value);
    void setParam(const QString& name, const QString& value) { setValue("Param", name, value); }
    QString param(const QString& name) const;

    QByteArray log() const;
    QList<QByteArray> logLines() const;
    // The boxes the program would have shown, "caption\ttext" each.
    QStringList boxes() const;

private:
    QTemporaryDir dir_;
};

class Simulator {
public:
    Simulator(const Sandbox& box, QStringList args);
    ~Simulator();
    void command(const QByteArray& line);
    QList<TranscriptEntry> transcript() const;
    // Waits until an entry matches; returns it, or an entry with kind "" on timeout.
    TranscriptEntry waitFor(const std::function<bool(const TranscriptEntry&)>& match,
                            milliseconds timeout = kHangGuard, int nth = 1) const;
    TranscriptEntry waitFor(const QByteArray& kind, const QByteArray& textPrefix,
                            milliseconds timeout = kHangGuard, int nth = 1) const;
    int count(const QByteArray& kind, const QByteArray& textPrefix) const;
    QString transcriptPath() const { return transcriptPath_; }

private:
    QString transcriptPath_;
    QProcess process_;
};

// Reads a transcript as it grows, for runs too long to read it whole at every look.
class TranscriptFollower {
public:
    explicit TranscriptFollower(const QString& path)
        : file_(path) {}
    // The entries written since the last call.
    QList<TranscriptEntry> next();

private:
    QFile file_;
    QByteArray partial_;
};

enum class Program { Desktop, Service };

// One run of a TARVIK program against a sandbox, its standard output and error
// kept in a file. Constructed as the desktop program; see Service.
class Tarvik {
public:
    explicit Tarvik(const Sandbox& box, const QProcessEnvironment& extra = {});
    virtual ~Tarvik();
    Tarvik(const Tarvik&) = delete;
    Tarvik& operator=(const Tarvik&) = delete;
    // SIGTERM, then the exit code (or -1 when it did not end in time).
    int terminate(milliseconds timeout = 10s);
    bool running() const { return process_.state() != QProcess::NotRunning; }
    int waitForExit(milliseconds timeout = 10s);
    qint64 pid() const { return process_.processId(); }
    // Standard output and error so far.
    QByteArray output();
    // With modemTrace(): it has read `line` from the modem since it last sent `sent`.
    bool readSince(const QByteArray& sent, const QByteArray& line);

protected:
    Tarvik(const Sandbox& box, const QString& binary, const QStringList& arguments,
           const QProcessEnvironment& extra);

private:
    QString outputPath_;
    QProcess process_;
};

// The service tarvikd: the sandbox's settings are its configuration and the
// program folder its state folder, so the log lands at Sandbox::logPath().
class Service : public Tarvik {
public:
    // Sets the simulator's link as Device when the settings name none.
    explicit Service(Sandbox& box, const QProcessEnvironment& extra = {});
    // With exactly this command line.
    Service(const Sandbox& box, const QStringList& arguments);
};

// The modem category on: each line sent and read shows on the output: -> "AT", <- "OK".
QProcessEnvironment modemTrace();

// The desktop program or the service, each with its usual command line.
std::unique_ptr<Tarvik> startProgram(Program program, Sandbox& box,
                                     const QProcessEnvironment& extra = {});

// What a run did, for a failure's message: the modem's transcript, the log
// and the program's own output.
std::string describeRun(const Simulator& sim, const Sandbox& box, Tarvik& app);

// Waits, polling, until the condition holds.
bool eventually(const std::function<bool()>& condition, milliseconds timeout = kHangGuard);

// Figures of a running process from /proc, for fault tests and benchmarks; -1
// when the process is gone.
struct ProcessFigures {
    double cpuSeconds = -1; // user plus system, all threads
    long rssKiB = -1;       // VmRSS
    long peakKiB = -1;      // VmHWM
    int openFiles = -1;     // entries of /proc/PID/fd
    int threads = -1;       // entries of /proc/PID/task
};
ProcessFigures processFigures(qint64 pid);
// The share of one core the process used over the next `span`, in percent.
double cpuPercentOver(qint64 pid, milliseconds span);

} // namespace tarvik::e2e
