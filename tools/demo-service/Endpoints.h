#pragma once

// The endpoints the demo service answers. Each one is a handler registered under its
// file name; a new endpoint is a function here (or in a file of its own) plus one
// AddEndpoint line in RegisterDemoEndpoints.

namespace kivora::demo {

class CDemoService;

// The path word the parameters reply hands the console for all later requests.
inline constexpr const char* kServicePrefix = "cpn";

void RegisterDemoEndpoints(CDemoService& service);

// Presence, the visitor list, details, invitations, visitor actions and accepting a
// chat (VisitorEndpoints.cpp).
void RegisterVisitorEndpoints(CDemoService& service);

// The chat poll, sending, typing, canned lists, name and e-mail and the browser pages
// (ChatEndpoints.cpp).
void RegisterChatEndpoints(CDemoService& service);

// Messages between operators, handing a chat to another operator and logging out
// (OperatorEndpoints.cpp).
void RegisterOperatorEndpoints(CDemoService& service);

} // namespace kivora::demo
