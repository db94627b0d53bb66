#pragma once
// The messages a user must read or answer. The wizard shows them in a message
// box with the application title; the command line writes them to standard
// error and answers questions from its options; tests script the answers.
#include <string_view>

namespace vantor {

class Messages {
public:
    virtual ~Messages() = default;
    virtual void inform(std::string_view text) = 0;
    // A yes/no question; true for yes.
    virtual bool ask(std::string_view text) = 0;
};

// Says nothing and answers every question with the answer it was built with.
class SilentMessages final : public Messages {
public:
    explicit SilentMessages(bool answer = true) : answer(answer) {}
    void inform(std::string_view) override {}
    bool ask(std::string_view) override { return answer; }

private:
    bool answer;
};

SilentMessages& silentMessages();

}  // namespace vantor
