#pragma once
// What a save or a search walk is given besides the reader: where it
// reports, what it asks, the session's Stop, the pause gate it waits at and
// the lock that keeps it the only user of the reader between two waits.
#include <mutex>

#include "core/messages.h"
#include "core/progress.h"
#include "core/worker_control.h"

namespace vantor {

struct WorkSeams {
    ProgressSink* progress = &nullProgress();
    Messages* messages = &silentMessages();
    StopFlag* pageStop = nullptr;  // the session's Stop; null: never stopped
    PauseGate* gate = nullptr;     // null: never paused
    std::mutex* readerLock = nullptr;

    bool stopRequested() const { return pageStop && pageStop->requested(); }
    // A poll point: waits while paused, never holding the reader lock.
    void waitIfPaused() const {
        if (gate) gate->wait();
    }
    std::unique_lock<std::mutex> useReader() const {
        return readerLock ? std::unique_lock<std::mutex>(*readerLock) : std::unique_lock<std::mutex>();
    }
};

}  // namespace vantor
