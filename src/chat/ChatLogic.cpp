#include "ChatLogic.h"

namespace kivora::chat {

CChatPoll::Outcome CChatPoll::Answered(net::ChatPollReply reply)
{
    pending = false;
    Outcome outcome;
    outcome.newLineSound = reply.newLineSound;
    if (reply.nextNumber) {
        outcome.lines = std::move(reply.lines);
        lastNumber = std::move(*reply.nextNumber);
    } else {
        outcome.closedByVisitor = reply.closedByVisitor;
    }
    return outcome;
}

bool TypingNoticeDue(std::size_t textBytes, bool& noticeSent)
{
    if (!noticeSent) {
        noticeSent = true;
        return true;
    }
    if (textBytes != 0 && textBytes % 5 == 0)
        noticeSent = false;
    return false;
}

} // namespace kivora::chat
