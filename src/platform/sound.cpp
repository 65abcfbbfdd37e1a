#include "platform/sound.h"

#include <QFile>
#include <canberra.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvik {
namespace {

// No ring sound is this long; a sound server that never reports the end must
// not freeze the window for good.
constexpr auto kLongestSound = std::chrono::seconds(60);
constexpr std::uint32_t kSoundId = 1;

struct Finished {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int error = CA_SUCCESS;
};

void onFinished(ca_context*, std::uint32_t, int error, void* userdata) {
    auto* state = static_cast<Finished*>(userdata);
    std::lock_guard guard(state->lock);
    state->finished = true;
    state->error = error;
    state->done.notify_all();
}

struct Proplist {
    ca_proplist* list = nullptr;
    Proplist() { ca_proplist_create(&list); }
    ~Proplist() {
        if (list) ca_proplist_destroy(list);
    }
    Proplist(const Proplist&) = delete;
    Proplist& operator=(const Proplist&) = delete;
};

} // namespace

struct DesktopSound::Context {
    ca_context* ctx = nullptr;
    Context() {
        if (ca_context_create(&ctx) != CA_SUCCESS) ctx = nullptr;
        if (ctx && ca_context_open(ctx) != CA_SUCCESS) {
            ca_context_destroy(ctx);
            ctx = nullptr;
        }
    }
    ~Context() {
        if (ctx) ca_context_destroy(ctx);
    }

    // Plays and waits for the end; false when the sound could not be started or played.
    bool playAndWait(const char* property, const QByteArray& value) {
        if (!ctx) return true;
        Proplist props;
        if (!props.list) return false;
        ca_proplist_sets(props.list, property, value.constData());
        Finished state;
        if (ca_context_play_full(ctx, kSoundId, props.list, onFinished, &state) != CA_SUCCESS)
            return false;
        std::unique_lock guard(state.lock);
        if (!state.done.wait_for(guard, kLongestSound, [&state] { return state.finished; })) {
            guard.unlock();
            ca_context_cancel(ctx, kSoundId);
            guard.lock();
            state.done.wait(guard, [&state] { return state.finished; });
        }
        return state.error == CA_SUCCESS || state.error == CA_ERROR_CANCELED;
    }
};

DesktopSound::DesktopSound()
    : context_(std::make_unique<Context>()) {}

DesktopSound::~DesktopSound() = default;

void DesktopSound::beep() {
    if (!context_->ctx) return;
    ca_context_play(context_->ctx, 0, CA_PROP_EVENT_ID, "bell", nullptr);
}

void DesktopSound::playWav(const QString& fileName) {
    if (!fileName.isEmpty() &&
        context_->playAndWait(CA_PROP_MEDIA_FILENAME, QFile::encodeName(fileName)))
        return;
    context_->playAndWait(CA_PROP_EVENT_ID, "dialog-warning");
}

} // namespace tarvik
