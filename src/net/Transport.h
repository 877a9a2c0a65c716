#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace kivora::net {

struct TransportRequest {
    std::string scheme = "http";
    std::string host;
    int port = 80;
    std::string path; // path prefix followed by the URL tail, query included
};

struct TransportResult {
    bool ok = false;
    std::string body;  // the whole body as received (any HTTP status)
    std::string error; // why the exchange failed, for the operator's eyes
};

struct TransportLimits {
    long connectTimeoutMs = 10'000;
    long totalTimeoutMs = 30'000;
    std::size_t maxBodyBytes = 16u * 1024u * 1024u;
    // Certificates trusted for https, as a PEM file; empty: the system's trust store.
    std::string trustFile;
};

// One blocking HTTP/1.0 GET exchange. Implementations are called from many
// threads at once and share nothing between calls.
class ITransport {
public:
    virtual ~ITransport() = default;
    // abandon turns true when the program is ending: give up as soon as possible.
    virtual TransportResult Get(const TransportRequest& request, const std::atomic<bool>& abandon) = 0;
};

} // namespace kivora::net
