#include "e2e_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace tarvik::e2e {

bool eventually(const std::function<bool()>& condition, milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count()) return false;
        QThread::msleep(20);
    }
    return true;
}

ProcessFigures processFigures(qint64 pid) {
    ProcessFigures figures;
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QFile stat(proc + "stat");
    if (!stat.open(QIODevice::ReadOnly)) return figures;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks: state is the first.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    figures.cpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    QFile status(proc + "status");
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& entry : status.readAll().split('\n')) {
            const auto kib = [&entry] {
                return entry.mid(6).trimmed().split(' ').value(0).toLong();
            };
            if (entry.startsWith("VmRSS:")) figures.rssKiB = kib();
            if (entry.startsWith("VmHWM:")) figures.peakKiB = kib();
        }
    }
    const auto entries = [&proc](const char* sub) {
        return static_cast<int>(
            QDir(proc + sub)
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                .size());
    };
    figures.openFiles = entries("fd");
    figures.threads = entries("task");
    return figures;
}

double cpuPercentOver(qint64 pid, milliseconds span) {
    const double before = processFigures(pid).cpuSeconds;
    QThread::msleep(static_cast<unsigned long>(span.count()));
    const double after = processFigures(pid).cpuSeconds;
    if (before < 0 || after < 0) return -1;
    return (after - before) * 1000.0 / static_cast<double>(span.count()) * 100.0;
}

Sandbox::Sandbox() {
    for (const char* sub : {"config", "run", "data", "program", "lock"})
        QDir().mkpath(path(sub));
    QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::copy(TARVIK_BINARY, path("program/tarvik"));
}

QProcessEnvironment Sandbox::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", path("config"));
    env.insert("XDG_RUNTIME_DIR", path("run"));
    env.insert("XDG_DATA_HOME", path("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TARVIK_RECORD_BOXES", boxesPath());
    // Device claims of this run only: runs side by side never meet.
    env.insert("TARVIK_LOCK_DIR", path("lock"));
    return env;
}

void Sandbox::setValue(const QString& section, const QString& name, const QString& value) {
    QDir().mkpath(path("config/Tarvik"));
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setValue(section + "/" + name, value);
}

QString Sandbox::param(const QString& name) const {
    return QSettings(iniPath(), QSettings::IniFormat).value("Param/" + name).toString();
}

QByteArray Sandbox::log() const {
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> Sandbox::logLines() const {
    QList<QByteArray> lines = log().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (auto& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        line = line.mid(15); // the stamp "dd/mm hh:mm:ss "
    }
    return lines;
}

QStringList Sandbox::boxes() const {
    QFile file(boxesPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

Simulator::Simulator(const Sandbox& box, QStringList args)
    : transcriptPath_(box.path("transcript.txt")) {
    args << "--transcript" << transcriptPath_ << "--quiet";
    process_.setProcessEnvironment(box.environment());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(MODEMSIM_BINARY, args);
    process_.waitForStarted();
    eventually([&box] { return QFile::exists(box.portLink()); }, 5s);
}

Simulator::~Simulator() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(2000);
}

void Simulator::command(const QByteArray& line) {
    process_.write(line + '\n');
    process_.waitForBytesWritten(1000);
}

namespace {

// Appends the entries of whole lines; the last piece is a line still being
// written, or empty after the final LF.
void parseTranscript(const QByteArray& text, QList<TranscriptEntry>& entries, QByteArray* rest) {
    QList<QByteArray> lines = text.split('\n');
    const QByteArray unfinished = lines.takeLast();
    if (rest) *rest = unfinished;
    for (const QByteArray& raw : lines) {
        if (raw.isEmpty() || raw.startsWith('#')) continue;
        const QList<QByteArray> fields = raw.split('\t');
        if (fields.size() < 4) continue;
        entries.append(
            {fields[0].toLongLong(), fields[1].toLongLong(), fields[2], fields.mid(3).join('\t')});
    }
}

} // namespace

QList<TranscriptEntry> Simulator::transcript() const {
    QList<TranscriptEntry> entries;
    QFile file(transcriptPath_);
    if (file.open(QIODevice::ReadOnly)) parseTranscript(file.readAll(), entries, nullptr);
    return entries;
}

QList<TranscriptEntry> TranscriptFollower::next() {
    QList<TranscriptEntry> entries;
    if (!file_.isOpen() && !file_.open(QIODevice::ReadOnly)) return entries;
    parseTranscript(partial_ + file_.readAll(), entries, &partial_);
    return entries;
}

TranscriptEntry Simulator::waitFor(const std::function<bool(const TranscriptEntry&)>& match,
                                   milliseconds timeout, int nth) const {
    TranscriptEntry found;
    eventually(
        [&] {
            int seen = 0;
            for (const auto& entry : transcript())
                if (match(entry) && ++seen == nth) {
                    found = entry;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

TranscriptEntry Simulator::waitFor(const QByteArray& kind, const QByteArray& textPrefix,
                                   milliseconds timeout, int nth) const {
    return waitFor(
        [&](const TranscriptEntry& e) { return e.kind == kind && e.text.startsWith(textPrefix); },
        timeout, nth);
}

int Simulator::count(const QByteArray& kind, const QByteArray& textPrefix) const {
    int n = 0;
    for (const auto& entry : transcript())
        if (entry.kind == kind && entry.text.startsWith(textPrefix)) ++n;
    return n;
}

Tarvik::Tarvik(const Sandbox& box, const QProcessEnvironment& extra)
    : Tarvik(box, box.path("program/tarvik"), {}, extra) {}

Tarvik::Tarvik(const Sandbox& box, const QString& binary, const QStringList& arguments,
               const QProcessEnvironment& extra) {
    QProcessEnvironment env = box.environment();
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Into a file: a pipe nobody reads fills up after a while and the program then
    // blocks on its next message (the sound library's, say).
    static int runs = 0;
    outputPath_ = box.path(QStringLiteral("tarvik-output-%1.txt").arg(++runs));
    process_.setStandardOutputFile(outputPath_);
    process_.setWorkingDirectory(box.path(""));
    process_.start(binary, arguments);
    process_.waitForStarted();
}

namespace {

const Sandbox& withDevice(Sandbox& box) {
    if (box.param("Device").isEmpty()) box.setParam("Device", box.portLink());
    return box;
}

} // namespace

Service::Service(Sandbox& box, const QProcessEnvironment& extra)
    : Tarvik(withDevice(box), TARVIKD_BINARY,
             {"--config", box.iniPath(), "--state", box.programDir()}, extra) {}

Service::Service(const Sandbox& box, const QStringList& arguments)
    : Tarvik(box, TARVIKD_BINARY, arguments, {}) {}

std::unique_ptr<Tarvik> startProgram(Program program, Sandbox& box,
                                     const QProcessEnvironment& extra) {
    if (program == Program::Service) return std::make_unique<Service>(box, extra);
    return std::make_unique<Tarvik>(box, extra);
}

Tarvik::~Tarvik() {
    if (running()) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

int Tarvik::waitForExit(milliseconds timeout) {
    if (!process_.waitForFinished(static_cast<int>(timeout.count()))) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int Tarvik::terminate(milliseconds timeout) {
    if (running()) ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    return waitForExit(timeout);
}

QByteArray Tarvik::output() {
    QFile file(outputPath_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Tarvik::readSince(const QByteArray& sent, const QByteArray& line) {
    const QByteArray text = output();
    const qsizetype at = text.lastIndexOf("-> \"" + sent);
    return at >= 0 && text.indexOf("<- \"" + line + '"', at) > at;
}

QProcessEnvironment modemTrace() {
    QProcessEnvironment env;
    env.insert("QT_LOGGING_RULES", "tarvik.modem.debug=true");
    return env;
}

std::string describeRun(const Simulator& sim, const Sandbox& box, Tarvik& app) {
    std::string text = "modem:\n";
    for (const TranscriptEntry& entry : sim.transcript())
        text += std::to_string(entry.ms) + " " + entry.kind.toStdString() + " " +
                entry.text.toStdString() + "\n";
    return text + "log:\n" + box.log().toStdString() + "program:\n" + app.output().toStdString();
}

} // namespace tarvik::e2e
