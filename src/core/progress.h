#pragma once
// Where long work tells how far it got: a range, a position in it, and a short
// status sentence. The wizard queues these to its progress bar and status line,
// the command line draws them on a terminal, tests record them.
#include <cstdint>
#include <string_view>

namespace vantor {

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setRange(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void setPosition(std::int64_t position) = 0;
    virtual void setStatus(std::string_view text) = 0;
};

// Swallows everything; the default when nobody listens.
class NullProgress final : public ProgressSink {
public:
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
    void setStatus(std::string_view) override {}
};

NullProgress& nullProgress();

}  // namespace vantor
