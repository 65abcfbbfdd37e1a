#pragma once
// The port's background threads. Each object is fully set up before its loop
// starts (the WorkerThread member comes last) and the loop has ended before any
// of its fields goes away.
#include "platform/worker_thread.h"
#include "serial/CommPort.h"

#include <functional>
#include <memory>

namespace tarvik {

// Fills the receive buffer from the device input queue.
class TReadThread : public TObject {
public:
    explicit TReadThread(TCustomCommPort& AComPort);
    WorkerThread& Thread() noexcept { return FThread; }

private:
    void Execute(const WorkerThread& self);
    bool ReadPass(); // false when a device call failed
    void DoTriggerAvail();

    comm::CommDevice* const FHandle;
    TCustomCommPort& FComPort;
    comm::OVERLAPPED FOverlapped;
    const std::function<void()> FTriggerStep;
    WorkerThread FThread;
};

// Empties the output buffer into the device while CTS is on.
class TWriteThread : public TObject {
public:
    explicit TWriteThread(TCustomCommPort& AComPort);
    WorkerThread& Thread() noexcept { return FThread; }

private:
    void Execute(const WorkerThread& self);
    void WritePending();

    comm::CommDevice* const FHandle;
    TCustomCommPort& FComPort;
    comm::OVERLAPPED FOverlapped;
    // What is being written, copied out so the output lock is not held while
    // flow control holds the device back.
    const std::unique_ptr<std::uint8_t[]> FSending;
    WorkerThread FThread;
};

// Waits for device events, keeps the line states and has the events
// dispatched on the UI thread.
class TStatusThread : public TObject {
public:
    explicit TStatusThread(TCustomCommPort& AComPort);
    WorkerThread& Thread() noexcept { return FThread; }

    // A step for the UI thread; a write of DTR runs it there at once.
    void DoDTRSignal();

private:
    void Execute(const WorkerThread& self);
    void DeliverEvents();
    void HandOver();

    TCustomCommPort& FComPort;
    comm::CommDevice* const FHandle;
    comm::DWORD FEventMask = 0;
    comm::OVERLAPPED FOverlapped;
    const std::function<void()> FDeliverStep;
    WorkerThread FThread;
};

} // namespace tarvik
