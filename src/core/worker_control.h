#pragma once
// How a running worker is paused, resumed and stopped. The worker polls at the
// points where it is safe to wait (between units of work, never inside a read),
// so a paused worker holds no lock and no half-done read.
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace vantor {

// One stop byte: set by the user, polled by the worker. A phase that finds it
// set clears it and ends as if finished, so the phases after it still run.
class StopFlag {
public:
    void request() { flag.store(true, std::memory_order_relaxed); }
    void clear() { flag.store(false, std::memory_order_relaxed); }
    bool requested() const { return flag.load(std::memory_order_relaxed); }
    // True once per request: reads the flag and clears it.
    bool take() { return flag.exchange(false, std::memory_order_relaxed); }

private:
    std::atomic<bool> flag{false};
};

// Pauses count: two pauses need two resumes before the worker goes on.
class PauseGate {
public:
    void pause();
    // Returns false when there was no pause to undo.
    bool resume();
    int depth() const;
    bool isReleased() const { std::lock_guard lock(mutex); return released; }
    // Blocks while paused; returns at once otherwise. Release() opens the gate
    // for good (used when the work is abandoned).
    void wait();
    void release();

private:
    mutable std::mutex mutex;
    std::condition_variable opened;
    int pauses = 0;
    bool released = false;
    std::atomic<bool> paused{false};  // lets wait() skip the lock when open
};

// What a reader polls: its own stop byte and the shared pause gate.
class WorkerControl {
public:
    StopFlag stopRequested;
    PauseGate gate;

    // A poll point: waits while paused, then tells whether a stop is pending.
    bool poll() {
        gate.wait();
        return stopRequested.requested();
    }
    // A poll point that ends a phase: true once per stop, clearing it.
    bool pollAndTake() {
        gate.wait();
        return stopRequested.take();
    }
};

}  // namespace vantor
