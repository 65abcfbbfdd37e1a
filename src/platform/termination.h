#pragma once
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tarvik {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the UI thread, so the program
// can close the way the user closes it instead of dying with unsaved changes.
class TerminationSignals final : public QObject {
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal);

    // Call first thing in main(), before any thread starts: threads inherit the
    // blocked mask, so no thread dies of these signals before the handler exists.
    static void blockEarly();
    ~TerminationSignals() override;

private:
    std::function<void(int)> onSignal_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tarvik
