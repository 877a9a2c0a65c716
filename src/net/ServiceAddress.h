#pragma once

#include <string>
#include <string_view>

namespace kivora::net {

// Where requests go: a host field as the service names it, "HOST" or "HOST:PORT",
// optionally with an "http://" or "https://" scheme in front.
struct ServiceAddress {
    std::string scheme = "http";
    std::string host;
    int port = 80;
};

// Without a port the web's default applies (80, or 443 for https). A port that is
// not a number from 1 to 65535 leaves the host as written, which then fails to
// connect like any unknown host.
ServiceAddress ParseServiceAddress(std::string_view text);

// "scheme://host" with ":port" unless it is the scheme's default; an IPv6 host
// in brackets. Followed by a path, it is a whole address for a browser.
std::string ServiceOrigin(const ServiceAddress& address);

// The host field to use after the service named `named` in its parameters reply,
// when the operator chose `chosen`. The service names a bare host; once the operator
// asked for https, every exchange stays on it: a named host never downgrades it.
std::string HostKeepingScheme(std::string_view chosen, std::string_view named);

} // namespace kivora::net
