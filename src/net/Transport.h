#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
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

// Shared by the exchanges of one requester; raised (through ITransport::Abandon)
// when the requester is ending, so that they give up at once.
using AbandonFlag = std::shared_ptr<std::atomic<bool>>;

// Told how an exchange ended. It may run on the transport's own thread, or on the
// starting thread before Start returns; it must not block.
using TransportCompletion = std::function<void(TransportResult)>;

// HTTP/1.0 GET exchanges, each on a connection of its own, many at once.
class ITransport {
public:
    virtual ~ITransport() = default;

    // Starts one exchange; completion runs exactly once, whether it worked, failed
    // or was abandoned. abandon may be null.
    virtual void Start(TransportRequest request, AbandonFlag abandon, TransportCompletion completion) = 0;
    // Raises flag and gives up every exchange started with it.
    virtual void Abandon(const AbandonFlag& flag) = 0;

    // One exchange, waited for on the calling thread. Never call it from a completion.
    TransportResult Get(TransportRequest request, AbandonFlag abandon = nullptr);
};

} // namespace kivora::net
