#pragma once

// The control requests about operators' messages and chat ownership:
// /_sim/messages?operator=L and /_sim/chat/owner?csesid=C. Run with the service's
// mutex held.

#include "Query.h"
#include "ServiceState.h"
#include "VisitorControl.h"

#include <optional>
#include <string_view>

namespace kivora::demo {

// `command` is the path after "/_sim/". Nothing when the command is not one of these.
std::optional<ControlReply> HandleOperatorControl(std::string_view command, const QueryParams& params,
                                                  const ServiceState& state);

} // namespace kivora::demo
