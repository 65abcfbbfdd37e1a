#pragma once
// Helpers of the serial tests: an event pump for the UI thread, kernel
// pseudo-terminals, and a private config folder for COM links.
#include <QByteArray>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

namespace tarvik::test {

// Processes Qt events on the UI thread (handed-over steps included) until `done`
// or the limit; true when `done` came first.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
void pumpFor(std::chrono::milliseconds time);

// CPU time of the whole process so far, in seconds.
double cpuSeconds();
// Entries of a /proc folder: open descriptors ("/proc/self/fd") and the like.
int procEntries(const char* dir);
// Threads of the port component now running, known by their names.
int portThreads();

// A kernel pseudo-terminal in raw mode. The far end is the master; a spare
// descriptor on the terminal side keeps the pair alive while the port is closed.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    int spare() const { return spare_; }
    const std::string& devicePath() const { return path_; }
    // Writes everything to the far end (blocking).
    void send(const std::string& bytes) const;
    // Reads from the far end until `count` bytes came or the limit ran out.
    std::string receive(std::size_t count, std::chrono::milliseconds limit) const;
    void closeMaster();
    void closeSpare();

private:
    int master_ = -1;
    int spare_ = -1;
    std::string path_;
};

// Points XDG_CONFIG_HOME at a fresh folder for the lifetime of the object.
class ScopedConfigHome {
public:
    ScopedConfigHome();
    ~ScopedConfigHome();
    ScopedConfigHome(const ScopedConfigHome&) = delete;
    ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

    // Makes COMn a link to `target` in the ports folder.
    void linkCom(int number, const std::string& target) const;
    // Makes COMn a file holding `content`.
    void writeCom(int number, const std::string& content) const;
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_;
};

} // namespace tarvik::test
