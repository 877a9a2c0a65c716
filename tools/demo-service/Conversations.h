#pragma once

// What an autopilot visitor says once an operator has accepted its chat: after a little
// typing a greeting and a question, then an answer to each of the operator's turns, and
// a goodbye after a few exchanges or a long silence. About one visitor in three then
// closes the chat itself; the others wait for the operator to end it.

#include "Population.h"
#include "ServiceState.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace kivora::demo {

// Ticks without a line from either side before the visitor gives up.
inline constexpr std::uint64_t kConversationSilenceTicks = 120;

class CConversation final {
public:
    // One tick of a chatting visitor; `tick` is the autopilot's tick count. All random
    // draws come from `random`, so a seeded autopilot holds the same conversations.
    void Step(ServiceState& state, const Visitor& visitor, Random& random, std::uint64_t tick);

private:
    void Start(const Visitor& visitor, Random& random, std::uint64_t tick);
    // Reacts to the lines said since the last look; true when it has something to say.
    bool Listen(const Chat& chat, const Visitor& visitor, Random& random, std::uint64_t tick);
    std::string Answer(const Visitor& visitor, Random& random);
    std::string Fill(const char* text, const Visitor& visitor) const;

    bool started_ = false;
    std::size_t linesSeen_ = 0;     // lines of the chat already looked at
    std::deque<std::string> toSay_; // typed one after another
    std::uint64_t sayAt_ = 0;       // when the line being typed is sent
    int heldForOperator_ = 0;       // ticks that line waited while the operator typed
    std::uint64_t lastHeard_ = 0;   // the tick of the latest line from either side
    int exchanges_ = 0;
    int exchangeLimit_ = 0;
    std::size_t topic_ = 0;
    std::size_t followUps_ = 0; // of the topic's follow-up questions asked so far
    std::string orderNumber_;
    bool saidGoodbye_ = false;
    bool closesChat_ = false;
    std::uint64_t closeAt_ = 0; // 0: not closing (yet)
};

} // namespace kivora::demo
