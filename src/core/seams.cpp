#include "core/messages.h"
#include "core/progress.h"
#include "core/worker_control.h"

namespace vantor {

NullProgress& nullProgress() {
    static NullProgress sink;
    return sink;
}

SilentMessages& silentMessages() {
    static SilentMessages messages;
    return messages;
}

void PauseGate::pause() {
    std::lock_guard lock(mutex);
    ++pauses;
    paused.store(true);
}

bool PauseGate::resume() {
    std::lock_guard lock(mutex);
    if (pauses == 0) return false;
    if (--pauses == 0) {
        paused.store(false);
        opened.notify_all();
    }
    return true;
}

int PauseGate::depth() const {
    std::lock_guard lock(mutex);
    return pauses;
}

void PauseGate::wait() {
    if (!paused.load()) return;
    std::unique_lock lock(mutex);
    opened.wait(lock, [this] { return pauses == 0 || released; });
}

void PauseGate::release() {
    std::lock_guard lock(mutex);
    released = true;
    opened.notify_all();
}

}  // namespace vantor
