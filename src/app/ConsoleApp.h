#pragma once

#include <QStringList>

#include <string>

namespace kivora::net {
class CServerLink;
}
namespace kivora::platform {
struct Platform;
}

namespace kivora::app {

// What the command line asks for.
struct CommandLine {
    std::string serviceHost; // empty: the built-in default host
    bool exitNow = false;    // --help, --version or a usage error was handled
    int exitCode = 0;
};

CommandLine ParseCommandLine(const QStringList& arguments);

// What the desktop is told of the program, once the application object exists.
void ConfigureApplication();

// The program's whole life: one modal run of the login dialog, inside which the
// console runs after a successful login. When it returns, the process ends.
class CConsoleApp final {
public:
    int InitInstance(const CommandLine& commandLine);
    // The login dialog's modal run with the console nested in it, on the link and
    // platform services given; returns when the session has ended.
    // serviceHost, when given, replaces the built-in host.
    static void RunSession(net::CServerLink& link, platform::Platform& platform, const std::string& serviceHost = {});
};

} // namespace kivora::app
