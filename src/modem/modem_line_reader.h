#pragma once
#include "modem/modem_port.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>

namespace tarvik {

// Lines from the modem as they come, without waiting: whatever the receive
// buffer holds is taken at once. A line ends at LF (CR and NUL are dropped) or
// at 255 bytes; a line the modem cuts with a pause is kept until its end comes,
// and taken as it is once kSplitMaxMs have passed without it.
class ModemLineReader {
public:
    static constexpr std::uint32_t kSplitMaxMs = 2000;

    // Appends each complete line, empty ones left out.
    void take(ModemPort& port, std::uint32_t now, QList<QByteArray>& lines);
    // When a waiting piece of a line will be taken whole, if one waits.
    std::optional<std::uint32_t> due() const;
    // Forgets a waiting piece (the greeting has read the modem's replies).
    void clear() { partial_.clear(); }

private:
    void end(QList<QByteArray>& lines);

    QByteArray partial_;
    std::uint32_t lastByteAt_ = 0;
};

} // namespace tarvik
