#pragma once
// Shared pieces of the fuzz targets: a failed check that the fuzzer reports as a
// crash, a reader of the input's leading control bytes, the spreading of a byte
// stream over the scripted modem's clock, and a scratch folder in memory.
#include "scripted_modem.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tarvik::fuzz {

// A violated property: print it and abort, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what, const QByteArray& detail = {}) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s %s\n", what, detail.toHex(' ').constData());
    std::abort();
}
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) ::tarvik::fuzz::fail(#condition __VA_OPT__(, ) __VA_ARGS__);             \
    } while (false)

// Takes control bytes off the front of the input; the rest is the payload.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)) {}
    std::uint8_t take() {
        if (pos_ >= bytes_.size()) return 0;
        return static_cast<std::uint8_t>(bytes_[pos_++]);
    }
    QByteArray rest() const { return bytes_.mid(pos_); }

private:
    QByteArray bytes_;
    qsizetype pos_ = 0;
};

// What a script handed to the modem: the bytes, and when the last of them arrives.
struct Delivery {
    QByteArray bytes;
    std::uint32_t lastArrival = 0;
};

// Hands the script's bytes to the modem in pieces at times drawn from `seed`:
// pieces of up to 61 bytes, gaps of up to 750 ms, so lines arrive whole, split and
// late. In the script the byte 0xFF and a count n is a pause of n * 20 ms (n = 0
// is the byte 0xFF itself), so a seed can be a whole call.
inline Delivery spreadOverTime(testing::ScriptedModem& modem, const QByteArray& script,
                               std::uint8_t seed) {
    std::uint32_t state = 0x9E3779B9u ^ seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 16;
    };
    const std::uint32_t maxPiece = 1 + (seed & 0x0F) * 4;
    const std::uint32_t maxGap = (seed >> 4) * 50;
    Delivery delivery;
    QByteArray piece;
    std::uint32_t at = 0;
    const auto flush = [&] {
        if (piece.isEmpty()) return;
        modem.arrive(at, piece);
        delivery.bytes += piece;
        delivery.lastArrival = at;
        piece.clear();
        if (maxGap > 0) at += next() % (maxGap + 1);
    };
    std::uint32_t pieceSize = 1 + next() % maxPiece;
    for (qsizetype pos = 0; pos < script.size(); ++pos) {
        const auto byte = static_cast<std::uint8_t>(script[pos]);
        if (byte == 0xFF && pos + 1 < script.size() && script[pos + 1] != '\0') {
            flush();
            at += static_cast<std::uint8_t>(script[++pos]) * 20u;
            continue;
        }
        piece += static_cast<char>(byte);
        if (byte == 0xFF) ++pos;
        if (static_cast<std::uint32_t>(piece.size()) >= pieceSize) {
            flush();
            pieceSize = 1 + next() % maxPiece;
        }
    }
    flush();
    return delivery;
}

// A fresh folder in memory (fsync there costs nothing), removed at the end of the run.
class ScratchDir {
public:
    ScratchDir()
        : dir_(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarvik-fuzz-XXXXXX")
                                         : QDir::tempPath() + "/tarvik-fuzz-XXXXXX") {}
    // A new empty sub-folder for one input; the previous one is removed.
    QString fresh() {
        if (!current_.isEmpty()) QDir(current_).removeRecursively();
        current_ = dir_.filePath(QString::number(++count_)) + '/';
        QDir().mkpath(current_);
        return current_;
    }

private:
    QTemporaryDir dir_;
    QString current_;
    long count_ = 0;
};

} // namespace tarvik::fuzz
