#pragma once

// What a chat window decides, apart from any widget: when to poll, what a poll's
// answer adds, and when typing is announced.

#include "net/Replies.h"
#include "net/Transport.h"

#include <QtGlobal>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
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

// The operator's lines sent and not yet brought back by a poll. They show greyed
// meanwhile, and each goes once its echo comes, so that no line shows twice and
// none vanishes unseen. A line whose exchange failed stays, marked, until it is
// sent again or comes back all the same (the service may have taken it before
// the exchange broke). Texts are the service's 8-bit form, as sent.
class CPendingLines final {
public:
    enum class State { Sending, Taken, Lost };
    struct Line {
        int id = 0;
        std::string text;
        State state = State::Sending;
    };

    // A line sent again replaces its lost self.
    int Add(std::string text);
    void Delivered(int id);
    // The exchange failed: the line's text, unless the poll brought it back already.
    std::optional<std::string> Failed(int id);
    // The pending line that a line the poll brought is the echo of, which is then
    // no longer pending: an own line (it begins with the login id) with the same
    // text, or else, as the service may have changed the text on the way, the
    // oldest line the service took. Nothing for any other line.
    std::optional<Line> Arrived(std::string_view line, std::string_view loginId);

    const std::vector<Line>& Lines() const { return lines; }

private:
    std::vector<Line> lines;
    int lastId = 0;
};

// Whether this change of a chat input announces that the operator types: at the
// first change, then at the first change after the text's length (in bytes)
// reached a multiple of five. noticeSent is one flag shared by every chat window.
bool TypingNoticeDue(std::size_t textBytes, bool& noticeSent);

} // namespace kivora::chat
