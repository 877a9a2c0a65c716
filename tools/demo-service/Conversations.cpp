#include "Conversations.h"

#include "Chats.h"

#include <iterator>
#include <string_view>

namespace kivora::demo {

namespace {

// A visitor's reason for asking, and what it asks next as the operator answers.
// "{city}" and "{order}" are filled in for the visitor.
struct Topic {
    const char* question;
    const char* followUps[3];
};

constexpr Topic kTopics[] = {
    {"How much is the deluxe widget? I cannot find the price anywhere.",
     {"Is VAT included in that?", "Do you give a discount if I order ten?", "Is there a cheaper model as well?"}},
    {"How long does delivery to {city} take?",
     {"Can I pay extra for next-day delivery?", "Will I get a tracking number?", "Do you deliver on Saturdays?"}},
    {"I ordered last week, order number {order}, and nothing has arrived yet.",
     {"I paid by card on Monday.", "Can you tell me which courier has it?", "So when should I expect it?"}},
    {"What are your opening hours at the weekend?",
     {"And on public holidays?", "Is the phone line open at the same times?", "Can I pick up an order in person?"}},
    {"Can I return a gadget I bought a month ago? It never worked properly.",
     {"I still have the receipt.", "Do I have to pay for the postage?", "How long does the refund take?"}},
    {"Do the gizmos work with the older widgets?",
     {"Mine is about five years old.", "Would I need an adapter?", "Is there a manual I could read first?"}},
};

constexpr const char* kAcknowledgements[] = {
    "OK, thanks.", "I see.", "Great, that helps.", "Right, that makes sense.", "Thank you, that is useful.",
    "Ah, good to know.",
};

constexpr const char* kGoodbyes[] = {
    "That is all I needed, thank you. Bye!",
    "Thanks for your help, goodbye.",
    "Perfect, thanks a lot. Have a nice day!",
};

constexpr const char* kSilentGoodbyes[] = {
    "Are you still there? Never mind, I will try again later.",
    "I have to go now, I will come back later. Bye.",
};

constexpr double kClosesChatChance = 1.0 / 3.0;
constexpr double kAcknowledgeFirstChance = 0.4;
constexpr double kFollowUpChance = 0.75;
// The longest a typed line is held back while the operator is typing too.
constexpr int kMostHeldForOperator = 4;

template <typename T, std::size_t N>
const T& Pick(Random& random, const T (&table)[N])
{
    return table[static_cast<std::size_t>(Between(random, 0, static_cast<int>(N) - 1))];
}

std::uint64_t After(Random& random, std::uint64_t tick, int low, int high)
{
    return tick + static_cast<std::uint64_t>(Between(random, low, high));
}

void ReplaceAll(std::string& text, std::string_view find, std::string_view with)
{
    for (auto at = text.find(find); at != std::string::npos; at = text.find(find, at + with.size()))
        text.replace(at, find.size(), with);
}

std::string FirstName(const std::string& name)
{
    return name.substr(0, name.find(' '));
}

} // namespace

void CConversation::Step(ServiceState& state, const Visitor& visitor, Random& random, std::uint64_t tick)
{
    Chat* chat = state.visitors.FindChat(visitor.sessionId);
    if (chat == nullptr || chat->closed)
        return;
    const SimTime now = state.clock.Now();
    if (!started_) {
        Start(visitor, random, tick);
        linesSeen_ = chat->lines.size(); // the join notice, or a transferred chat's lines
    }

    if (toSay_.empty()) {
        if (saidGoodbye_) {
            if (closeAt_ != 0 && tick >= closeAt_)
                chat->closed = true;
            return;
        }
        if (!Listen(*chat, visitor, random, tick))
            return;
    }

    // The operator typing on: the answer waits a little, though not for ever.
    if (tick >= sayAt_ && OperatorTyping(*chat, now) && heldForOperator_ < kMostHeldForOperator) {
        sayAt_ = tick + 1;
        ++heldForOperator_;
    }
    if (tick < sayAt_) {
        chat->visitorTyped = now;
        return;
    }
    VisitorSays(state, visitor.sessionId, toSay_.front());
    toSay_.pop_front();
    heldForOperator_ = 0;
    lastHeard_ = tick;
    if (!toSay_.empty())
        sayAt_ = After(random, tick, 2, 4);
    else if (saidGoodbye_ && closesChat_)
        closeAt_ = After(random, tick, 2, 6);
}

void CConversation::Start(const Visitor& visitor, Random& random, std::uint64_t tick)
{
    started_ = true;
    exchangeLimit_ = Between(random, 3, 8);
    closesChat_ = Chance(random, kClosesChatChance);
    topic_ = static_cast<std::size_t>(Between(random, 0, static_cast<int>(std::size(kTopics)) - 1));
    orderNumber_ = "KV-" + std::to_string(Between(random, 10000, 99999));

    const std::string question = Fill(kTopics[topic_].question, visitor);
    if (visitor.name.empty()) {
        toSay_.push_back("Hello! " + question);
    } else {
        toSay_.push_back("Hi, my name is " + FirstName(visitor.name) + ".");
        toSay_.push_back(question);
    }
    sayAt_ = After(random, tick, 3, 6);
    lastHeard_ = tick;
}

bool CConversation::Listen(const Chat& chat, const Visitor& visitor, Random& random, std::uint64_t tick)
{
    bool operatorSpoke = false;
    for (; linesSeen_ < chat.lines.size(); ++linesSeen_)
        operatorSpoke = operatorSpoke || chat.lines[linesSeen_].speaker == ChatSpeaker::Operator;

    if (operatorSpoke) {
        lastHeard_ = tick;
        if (++exchanges_ >= exchangeLimit_) {
            saidGoodbye_ = true;
            toSay_.push_back(Pick(random, kGoodbyes));
        } else {
            toSay_.push_back(Answer(visitor, random));
        }
    } else if (tick - lastHeard_ >= kConversationSilenceTicks) {
        saidGoodbye_ = true;
        toSay_.push_back(Pick(random, kSilentGoodbyes));
    } else {
        return false;
    }
    sayAt_ = After(random, tick, 2, 6);
    return true;
}

std::string CConversation::Answer(const Visitor& visitor, Random& random)
{
    const Topic& topic = kTopics[topic_];
    if (followUps_ < std::size(topic.followUps) && Chance(random, kFollowUpChance)) {
        std::string followUp = Fill(topic.followUps[followUps_++], visitor);
        if (Chance(random, kAcknowledgeFirstChance))
            return std::string(Pick(random, kAcknowledgements)) + ' ' + followUp;
        return followUp;
    }
    return Pick(random, kAcknowledgements);
}

std::string CConversation::Fill(const char* text, const Visitor& visitor) const
{
    std::string out = text;
    ReplaceAll(out, "{city}", visitor.profile.city);
    ReplaceAll(out, "{order}", orderNumber_);
    return out;
}

} // namespace kivora::demo
