#pragma once

#include "Transport.h"

#include <memory>

namespace kivora::net {

class CNetworkThread;
struct CurlSettings;

// The real transport: libcurl, every exchange on one network thread of the
// transport's own. Redirects are followed only within the request's own scheme,
// host and port.
class CCurlTransport final : public ITransport {
public:
    explicit CCurlTransport(TransportLimits limits = {});
    // Gives up every exchange still under way and ends the network thread.
    ~CCurlTransport() override;
    CCurlTransport(const CCurlTransport&) = delete;
    CCurlTransport& operator=(const CCurlTransport&) = delete;

    void Start(TransportRequest request, AbandonFlag abandon, TransportCompletion completion) override;
    void Abandon(const AbandonFlag& flag) override;

    // Once per process, before any thread can make an exchange.
    static void GlobalInit();

private:
    std::shared_ptr<const CurlSettings> settings;
    std::unique_ptr<CNetworkThread> network;
};

} // namespace kivora::net
