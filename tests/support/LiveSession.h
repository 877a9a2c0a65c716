#pragma once

#include "DemoService.h"
#include "session/Session.h"
#include "Fakes.h"
#include "net/CurlTransport.h"
#include "net/ServerLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kivora::test {

// An operator logged in to a fresh demo service over the real transport, with
// fake platform services: what the end-to-end tests of windows start from.
struct LiveSession {
    explicit LiveSession(const std::string& loginId, std::vector<std::string> serviceArgs = {})
        : service(std::move(serviceArgs))
    {
        link.SetDefaultHost(service.HostPort());
        EXPECT_TRUE(link.FetchParams("site1"));
        link.SetIdentity(loginId, "site1");
        // Tests drive the refresh themselves.
        link.refreshIntervalMs = 3'600'000;
    }

    CDemoService service;
    FakePlatform fakes;
    platform::Platform& platform = fakes.platform;
    net::CServerLink link{std::make_shared<net::CCurlTransport>(), fakes.boxes, fakes.browser};
};

// The session of a live link, for the windows that take one.
struct LiveSessionOf {
    explicit LiveSessionOf(net::CServerLink& link) : session(link) {}
    session::CSession session;
};

} // namespace kivora::test
