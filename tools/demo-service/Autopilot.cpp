#include "Autopilot.h"

#include <algorithm>
#include <cstdio>

namespace kivora::demo {

namespace {

constexpr double kChatRequestChance = 1.0 / 6.0;
constexpr double kAnswerInvitationChance = 0.5;
constexpr double kNamedVisitorChance = 0.6;
constexpr double kReturningVisitorChance = 0.3;
constexpr double kChattedBeforeChance = 0.4;
// Below half the target, one visitor arrives every tick; nearer it, now and then.
constexpr double kTopUpChance = 0.3;
constexpr double kMaxSpeed = 100.0;

} // namespace

CAutopilot::CAutopilot(AutopilotSettings settings)
    : settings_(settings)
    , random_(settings.seed)
{
}

std::chrono::milliseconds CAutopilot::Interval() const
{
    if (!Running())
        return std::chrono::seconds(1);
    const double speed = std::min(settings_.speed, kMaxSpeed);
    return std::chrono::milliseconds(static_cast<long long>(1000.0 / speed));
}

std::chrono::milliseconds CAutopilot::ClockStep() const
{
    return std::max(std::chrono::milliseconds(1000) - Interval(), std::chrono::milliseconds(0));
}

std::uint64_t CAutopilot::Later(int low, int high)
{
    return tick_ + static_cast<std::uint64_t>(Between(random_, low, high));
}

void CAutopilot::Tick(ServiceState& state)
{
    ++tick_;
    state.visitors.ExpireProactive(state.clock.Now());

    std::vector<std::string> leaving;
    std::erase_if(plans_, [&](Plan& plan) {
        Visitor* visitor = state.visitors.Find(plan.sessionId);
        if (visitor == nullptr)
            return true; // removed through the control API
        if (Step(state, *visitor, plan))
            return false;
        leaving.push_back(plan.sessionId);
        return true;
    });
    for (const auto& sessionId : leaving)
        state.visitors.Leave(sessionId);

    if (plans_.size() < static_cast<std::size_t>(std::max(settings_.visitors, 0)))
        Arrive(state);
}

void CAutopilot::Arrive(ServiceState& state)
{
    const bool filling = plans_.size() * 2 < static_cast<std::size_t>(settings_.visitors);
    if (!filling && !Chance(random_, kTopUpChance))
        return;

    Visitor visitor;
    visitor.address = RandomAddress(random_);
    visitor.profile = RandomProfile(random_);
    visitor.page = RandomPage(random_);
    visitor.arrived = state.clock.Now();
    if (Chance(random_, kReturningVisitorChance)) {
        visitor.previousVisits = Between(random_, 1, 12);
        visitor.chattedBefore = Chance(random_, kChattedBeforeChance);
    }
    if (Chance(random_, kNamedVisitorChance))
        RandomContact(random_, visitor.name, visitor.email);

    Plan plan;
    plan.sessionId = state.visitors.Add(std::move(visitor)).sessionId;
    plan.leaveAt = Later(120, 420);
    plan.nextMove = Later(5, 40);
    if (Chance(random_, kChatRequestChance))
        plan.requestAt = Later(10, 90);
    plans_.push_back(std::move(plan));
}

bool CAutopilot::Step(ServiceState& state, Visitor& visitor, Plan& plan)
{
    if (visitor.status == VisitorStatus::Chatting) {
        plan.wasChatting = true;
        plan.conversation.Step(state, visitor, random_, tick_);
        return true; // stays until the operator ends the chat, even one it closed itself
    }
    if (plan.wasChatting) {
        plan.wasChatting = false;
        plan.conversation = CConversation{};
        plan.requestAt = 0;
        plan.leaveAt = std::max(plan.leaveAt, Later(10, 60));
    }

    if (visitor.status == VisitorStatus::ChatRequest) {
        if (plan.giveUpAt == 0)
            plan.giveUpAt = Later(150, 300);
        if (tick_ >= plan.giveUpAt) {
            state.visitors.RefuseChat(visitor); // tired of waiting, browses on
            plan.giveUpAt = 0;
        }
        return true;
    }
    plan.giveUpAt = 0;

    if (visitor.status != VisitorStatus::Invited) {
        plan.answeredInvite = false;
    } else if (!plan.answeredInvite) {
        plan.answeredInvite = true;
        if (Chance(random_, kAnswerInvitationChance))
            plan.requestAt = Later(3, 15);
    }

    if (!visitor.proactivePending) {
        plan.answeredProactive = false;
        plan.acceptProactiveAt = 0;
    } else if (!plan.answeredProactive) {
        plan.answeredProactive = true;
        if (Chance(random_, kAnswerInvitationChance))
            plan.acceptProactiveAt = Later(3, 15);
    }

    const bool accepting = plan.acceptProactiveAt != 0 && tick_ >= plan.acceptProactiveAt;
    const bool asking = plan.requestAt != 0 && tick_ >= plan.requestAt;
    if (accepting || asking) {
        plan.requestAt = 0;
        plan.acceptProactiveAt = 0;
        state.visitors.RequestChat(visitor);
        return true;
    }

    if (tick_ >= plan.nextMove) {
        visitor.page = NextPage(random_, visitor.page);
        plan.nextMove = Later(5, 40);
    }
    return tick_ < plan.leaveAt;
}

std::string CAutopilot::Describe() const
{
    char speed[32];
    std::snprintf(speed, sizeof(speed), "%g", settings_.speed);
    return std::string("autopilot ") + (settings_.on ? "on" : "off") + " visitors " +
           std::to_string(settings_.visitors) + " speed " + speed + " seed " + std::to_string(settings_.seed) +
           " ticks " + std::to_string(tick_) + " population " + std::to_string(plans_.size()) + '\n';
}

} // namespace kivora::demo
