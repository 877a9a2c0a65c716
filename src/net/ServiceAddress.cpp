#include "ServiceAddress.h"

#include <charconv>

namespace kivora::net {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool ReadPort(std::string_view digits, int& port)
{
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

} // namespace

ServiceAddress ParseServiceAddress(std::string_view text)
{
    ServiceAddress address;
    if (StartsWithNoCase(text, "https://")) {
        address.scheme = "https";
        address.port = 443;
        text.remove_prefix(8);
    } else if (StartsWithNoCase(text, "http://")) {
        text.remove_prefix(7);
    }
    // A trailing slash after the host names no path; drop it.
    while (!text.empty() && text.back() == '/')
        text.remove_suffix(1);

    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            address.host = std::string(text.substr(1, close - 1));
            const std::string_view rest = text.substr(close + 1);
            if (rest.size() > 1 && rest.front() == ':')
                ReadPort(rest.substr(1), address.port);
            return address;
        }
    }
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos && text.find(':') == colon &&
        ReadPort(text.substr(colon + 1), address.port)) {
        address.host = std::string(text.substr(0, colon));
        return address;
    }
    address.host = std::string(text);
    return address;
}

std::string ServiceOrigin(const ServiceAddress& address)
{
    std::string origin = address.scheme + "://";
    if (address.host.find(':') != std::string::npos)
        origin += "[" + address.host + "]";
    else
        origin += address.host;
    const int defaultPort = address.scheme == "https" ? 443 : 80;
    if (address.port != defaultPort)
        origin += ":" + std::to_string(address.port);
    return origin;
}

std::string HostKeepingScheme(std::string_view chosen, std::string_view named)
{
    if (!StartsWithNoCase(chosen, "https://") || StartsWithNoCase(named, "https://"))
        return std::string(named);
    if (StartsWithNoCase(named, "http://"))
        named.remove_prefix(7);
    return "https://" + std::string(named);
}

} // namespace kivora::net
