#pragma once

// Simulated visitors for a lively demo: they arrive, browse, sometimes ask for a chat,
// hold a short conversation once it is accepted, answer invitations and leave, keeping
// the site's population near a target. It acts only through Tick(), which the service
// calls under its mutex, about once a second from its ticker thread or on demand from
// the control API.

#include "Conversations.h"
#include "Population.h"
#include "ServiceState.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kivora::demo {

struct AutopilotSettings {
    bool on = false;
    int visitors = 12;  // the population it keeps the site near
    double speed = 1.0; // ticks per real second, 0 for ticking on demand only; above 1
                        // the service's clock is pushed to keep pace
    std::uint32_t seed = 0;
};

class CAutopilot final {
public:
    explicit CAutopilot(AutopilotSettings settings);

    // One simulated second: visitors act on their plans, the population is topped up.
    void Tick(ServiceState& state);

    const AutopilotSettings& Settings() const { return settings_; }
    void SetOn(bool on) { settings_.on = on; }
    void SetTarget(int visitors) { settings_.visitors = visitors; }
    void SetSpeed(double speed) { settings_.speed = speed; }

    // Whether the ticker thread should tick it.
    bool Running() const { return settings_.on && settings_.speed > 0; }
    // Real time between the ticker's ticks.
    std::chrono::milliseconds Interval() const;
    // How far the service's clock is pushed at each tick beyond the real time that
    // passed, so that at speed X simulated time runs X times as fast.
    std::chrono::milliseconds ClockStep() const;

    std::uint64_t Ticks() const { return tick_; }
    std::size_t Population() const { return plans_.size(); }
    std::string Describe() const;

private:
    // What one of its visitors means to do next, in ticks.
    struct Plan {
        std::string sessionId;
        std::uint64_t leaveAt = 0;
        std::uint64_t nextMove = 0;
        std::uint64_t requestAt = 0;        // 0: not planning to ask for a chat
        std::uint64_t acceptProactiveAt = 0; // 0: not accepting the pending invitation
        std::uint64_t giveUpAt = 0;         // while its chat request waits
        bool answeredInvite = false;
        bool answeredProactive = false;
        bool wasChatting = false;
        CConversation conversation; // while chatting
    };

    void Arrive(ServiceState& state);
    // False when the visitor leaves this tick.
    bool Step(ServiceState& state, Visitor& visitor, Plan& plan);
    std::uint64_t Later(int low, int high);

    AutopilotSettings settings_;
    Random random_;
    std::vector<Plan> plans_; // in order of arrival, so the random draws follow a fixed order
    std::uint64_t tick_ = 0;
};

} // namespace kivora::demo
