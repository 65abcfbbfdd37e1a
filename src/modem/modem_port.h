#pragma once
#include <QByteArray>
#include <cstdint>

namespace tarvik {

// What the modem dialogue needs of the serial port: its open state and the
// buffer operations of the UI thread.
class ModemPort {
public:
    virtual ~ModemPort() = default;
    virtual bool isOpen() const = 0;
    virtual int InCount() const = 0;
    virtual int OutFree() const = 0;
    virtual std::uint8_t ReadByte() = 0;
    virtual void WriteString(const QByteArray& text) = 0;
    virtual int WriteByte(std::uint8_t value) = 0;
    virtual void PurgeIn() = 0;
};

} // namespace tarvik
