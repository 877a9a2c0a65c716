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
        session.SetDefaultHost(service.HostPort());
        EXPECT_TRUE(session.FetchParams("site1"));
        session.SetIdentity(loginId, "site1");
        // Tests drive the refresh themselves.
        session.SetPeriods(3'600'000, session.ChatPollIntervalMs());
    }

    CDemoService service;
    FakePlatform fakes;
    platform::Platform& platform = fakes.platform;
    net::CServerLink link{std::make_shared<net::CCurlTransport>()};
    session::CSession session{link, &fakes.browser};
};

} // namespace kivora::test
