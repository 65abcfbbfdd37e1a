#pragma once
#include <QString>
#include <memory>

namespace tarvik {

// The beep and the ring sound.
class RingSound {
public:
    virtual ~RingSound() = default;
    virtual void beep() = 0;
    // Returns when the sound has ended.
    virtual void playWav(const QString& fileName) = 0;
};

// The desktop's event sounds through libcanberra. A file that cannot be played
// plays the theme's alert instead; without a sound server there is silence.
class DesktopSound final : public RingSound {
public:
    DesktopSound();
    ~DesktopSound() override;
    DesktopSound(const DesktopSound&) = delete;
    DesktopSound& operator=(const DesktopSound&) = delete;

    void beep() override;
    void playWav(const QString& fileName) override;

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

} // namespace tarvik
