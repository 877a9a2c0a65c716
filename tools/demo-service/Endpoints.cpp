#include "Endpoints.h"

#include "DemoService.h"
#include "Records.h"

#include <string>

namespace kivora::demo {

namespace {

// REFRESH<fld>CHATPOLL<fld>HOST:PORT<fld>PREFIX. The host is the service itself, so
// the console's later requests come back here rather than to the default host.
std::string Parameters(const EndpointCall& call, ServiceState&)
{
    return JoinFields({std::to_string(call.options.refreshSeconds), std::to_string(call.options.chatPollSeconds),
                       std::string(call.hostPort), kServicePrefix});
}

std::string Login(const EndpointCall& call, ServiceState& state)
{
    return FormatLoginReply(state.accounts.Login(call.Param("stid"), call.Param("loginid"), call.Param("pwd")));
}

} // namespace

void RegisterDemoEndpoints(CDemoService& service)
{
    service.AddEndpoint("w-param", Parameters);
    service.AddEndpoint("w-login", Login);
    RegisterVisitorEndpoints(service);
    RegisterChatEndpoints(service);
    RegisterOperatorEndpoints(service);
}

} // namespace kivora::demo
