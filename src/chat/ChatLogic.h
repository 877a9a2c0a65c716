#pragma once

// What a chat window decides, apart from any widget: when to poll, what a poll's
// answer adds, and when typing is announced.

#include "net/Replies.h"
#include "net/Transport.h"

#include <QtGlobal>

#include <cstddef>
#include <string>
#include <vector>

namespace kivora::chat {

// The chat's progress through the service's lines: one poll at a time (a second
// meanwhile would bring the same lines again, and both answers would be shown),
// a poll unanswered for kPollLostMs taken as lost, and the number the next poll
// starts from. Times are a monotonic clock's, in milliseconds.
class CChatPoll final {
public:
    static constexpr qint64 kPollLostMs = 2 * net::TransportLimits{}.totalTimeoutMs;

    bool MaySend(qint64 nowMs) const { return !pending || nowMs - sentAtMs >= kPollLostMs; }
    void Sent(qint64 nowMs)
    {
        pending = true;
        sentAtMs = nowMs;
    }
    // The exchange failed: the next tick may poll again, from the same number.
    void Failed() { pending = false; }

    struct Outcome {
        std::vector<std::string> lines; // to show, in order
        bool closedByVisitor = false;   // the closed notice is shown and polling stops
        bool newLineSound = false;
    };
    // What an answer adds; the number moves on when the answer names one.
    Outcome Answered(net::ChatPollReply reply);

    const std::string& LastNumber() const { return lastNumber; }

private:
    bool pending = false;
    qint64 sentAtMs = 0;
    std::string lastNumber = "1";
};

// Whether this change of a chat input announces that the operator types: at the
// first change, then at the first change after the text's length (in bytes)
// reached a multiple of five. noticeSent is one flag shared by every chat window.
bool TypingNoticeDue(std::size_t textBytes, bool& noticeSent);

} // namespace kivora::chat
