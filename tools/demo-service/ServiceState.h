#pragma once

// Everything the endpoints read and change. /_sim/reset replaces it with a fresh one,
// so whatever a new endpoint needs goes here and starts in its demo condition.

#include "Accounts.h"
#include "Clock.h"
#include "Messages.h"
#include "Visitors.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace kivora::demo {

struct ServiceState {
    CAccounts accounts;
    CSimClock clock;
    CVisitors visitors;
    CMessages messages;
    // Notices waiting for an operator's next visitor-list reply, by login id; each is
    // delivered once.
    std::map<std::string, std::deque<std::string>, std::less<>> notices;
    // By login id: the newest chat request that operator's list reply has already
    // sounded for, so each request sounds once per operator.
    std::map<std::string, std::uint64_t, std::less<>> heardChatRequest;
};

} // namespace kivora::demo
