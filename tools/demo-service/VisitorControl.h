#pragma once

// The control requests about visitors, notices and accounts: /_sim/visitor/add,
// /_sim/visitor/set, /_sim/visitor/request-chat, /_sim/visitor/remove, /_sim/visitors,
// /_sim/notice, /_sim/deactivate and /_sim/presence/expire. Run with the service's
// mutex held.

#include "Query.h"
#include "ServiceState.h"

#include <optional>
#include <string>
#include <string_view>

namespace kivora::demo {

struct ControlReply {
    int status = 200;
    std::string body = "ok";
};

// `command` is the path after "/_sim/". Nothing when the command is not one of these.
std::optional<ControlReply> HandleVisitorControl(std::string_view command, const QueryParams& params,
                                                 ServiceState& state);

} // namespace kivora::demo
