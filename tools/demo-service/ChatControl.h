#pragma once

// The control requests that play the visitor's side of a chat: /_sim/chat/say,
// /_sim/chat/typing, /_sim/chat/leave and /_sim/chat/lines. Run with the service's
// mutex held.

#include "Query.h"
#include "ServiceState.h"
#include "VisitorControl.h"

#include <optional>
#include <string_view>

namespace kivora::demo {

// `command` is the path after "/_sim/". Nothing when the command is not one of these.
std::optional<ControlReply> HandleChatControl(std::string_view command, const QueryParams& params,
                                              ServiceState& state);

} // namespace kivora::demo
