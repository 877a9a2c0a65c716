#include "ChatControl.h"

#include "Chats.h"

#include <string>

namespace kivora::demo {

std::optional<ControlReply> HandleChatControl(std::string_view command, const QueryParams& params,
                                              ServiceState& state)
{
    if (command != "chat/say" && command != "chat/typing" && command != "chat/leave" && command != "chat/lines")
        return std::nullopt;
    const std::string* sessionId = FindParam(params, "csesid");
    Chat* chat = sessionId ? state.visitors.FindChat(*sessionId) : nullptr;
    if (chat == nullptr)
        return ControlReply{404, "no such chat\n"};

    if (command == "chat/lines")
        return ControlReply{200, DumpChat(*chat)};
    if (command == "chat/leave") {
        chat->closed = true; // the visitor stays listed as chatting until the operator ends it
        chat->visitorTyped.reset();
        return ControlReply{};
    }
    if (chat->closed)
        return ControlReply{409, "the chat is closed\n"};
    if (command == "chat/typing") {
        chat->visitorTyped = state.clock.Now();
        return ControlReply{};
    }
    const std::string* text = FindParam(params, "text");
    VisitorSays(state, *sessionId, text ? *text : std::string());
    return ControlReply{};
}

} // namespace kivora::demo
