#pragma once

#include "Transport.h"

namespace kivora::net {

// The real transport: libcurl's easy interface, one handle per exchange. Redirects
// are followed only within the request's own scheme, host and port.
class CCurlTransport final : public ITransport {
public:
    explicit CCurlTransport(TransportLimits limits = {});
    TransportResult Get(const TransportRequest& request, const std::atomic<bool>& abandon) override;

    // Once per process, before any thread can make an exchange.
    static void GlobalInit();

private:
    TransportLimits limits;
};

} // namespace kivora::net
