#include "OperatorControl.h"

#include <string>

namespace kivora::demo {

std::optional<ControlReply> HandleOperatorControl(std::string_view command, const QueryParams& params,
                                                  const ServiceState& state)
{
    if (command == "messages") {
        const std::string* loginId = FindParam(params, "operator");
        if (loginId == nullptr || loginId->empty())
            return ControlReply{400, "messages needs operator=LOGINID\n"};
        return ControlReply{200, state.messages.Dump(*loginId)};
    }
    if (command == "chat/owner") {
        const std::string* sessionId = FindParam(params, "csesid");
        const Chat* chat = sessionId ? state.visitors.FindChat(*sessionId) : nullptr;
        if (chat == nullptr)
            return ControlReply{404, "no such chat\n"};
        return ControlReply{200, chat->owner};
    }
    return std::nullopt;
}

} // namespace kivora::demo
