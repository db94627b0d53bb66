#pragma once
// What a save or a search walk is given besides the reader: where it
// reports, what it asks, the session's Stop, the pause gate it waits at and
// the lock that keeps it the only user of the reader between two waits.
#include <functional>
#include <mutex>
#include <string_view>

#include "core/messages.h"
#include "core/progress.h"
#include "core/worker_control.h"

namespace vantor {

struct WorkSeams {
    ProgressSink* progress = &nullProgress();
    Messages* messages = &silentMessages();
    StopFlag* pageStop = nullptr;  // the session's Stop; null: never stopped
    // The reader's own stop byte, which the search takes folder by folder.
    StopFlag* readerStop = nullptr;
    PauseGate* gate = nullptr;     // null: never paused
    std::mutex* readerLock = nullptr;
    // The per-file line under the status: "File size: N kb" while a file is
    // written, empty after it. Optional.
    std::function<void(std::string_view)> fileLabel;

    bool stopRequested() const { return pageStop && pageStop->requested(); }
    bool readerStopRequested() const { return readerStop && readerStop->requested(); }
    bool takeReaderStop() const { return readerStop && readerStop->take(); }
    // A poll point: waits while paused, never holding the reader lock.
    void waitIfPaused() const {
        if (gate) gate->wait();
    }
    std::unique_lock<std::mutex> useReader() const {
        return readerLock ? std::unique_lock<std::mutex>(*readerLock) : std::unique_lock<std::mutex>();
    }
};

}  // namespace vantor
