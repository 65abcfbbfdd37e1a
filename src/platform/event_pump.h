#pragma once
#include <cstdint>

namespace tarvik {

// How the modem dialogue's waits keep the window alive: process what is waiting,
// or sleep until a message, a received byte or the deadline arrives.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processPending() = 0;
    virtual void waitForActivity(std::uint32_t maxMs) = 0;
};

} // namespace tarvik
