#pragma once

// What the fault tests share: the ways a server lets the console down, a logged-in
// session over the real transport with short time-outs, and a watch on the GUI
// thread that tells how long the operator would have seen the windows frozen.

#include "net/CurlTransport.h"
#include "session/Session.h"
#include "net/ServerLink.h"
#include "support/DemoService.h"
#include "support/Fakes.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kivora::test {

enum class ServerFault {
    NoServer,  // nobody listens at the service's address
    Hang,      // the request is held unanswered
    Close,     // the connection is dropped half way through the reply
    Error500,  // an error page with status 500
    Oversize,  // a body one byte over the transport's 16 MiB limit
    EmptyBody, // status 200 and a body of zero bytes
    Trickle,   // a reply far slower than the time-out, a byte at a time
};

struct FaultCase {
    ServerFault fault;
    const char* name;
    bool exchangeFails; // the link counts it as a failed exchange
};

inline constexpr FaultCase kFaultCases[] = {
    {ServerFault::NoServer, "NoServer", true},   {ServerFault::Hang, "Hang", true},
    {ServerFault::Close, "Close", true},         {ServerFault::Error500, "Error500", false},
    {ServerFault::Oversize, "Oversize", true},   {ServerFault::EmptyBody, "EmptyBody", false},
    {ServerFault::Trickle, "Trickle", true},
};

// How GoogleTest names a case in its messages.
inline void PrintTo(const FaultCase& faultCase, std::ostream* out)
{
    *out << faultCase.name;
}

// For INSTANTIATE_TEST_SUITE_P: the case's name as the test's suffix.
struct FaultCaseName {
    std::string operator()(const ::testing::TestParamInfo<FaultCase>& info) const { return info.param.name; }
};

// Short enough that a held or trickling exchange fails in about a second, long
// enough for any sound exchange on a busy machine.
inline constexpr long kConnectTimeoutMs = 500;
inline constexpr long kTotalTimeoutMs = 1200;
net::TransportLimits ShortLimits();


// The longest the GUI thread may go without running its event loop while only
// asynchronous exchanges are failing: well below the time-out, so that a GUI
// waiting for a hung exchange shows.
inline constexpr qint64 kFreezeBoundMs = 700;

// Arms the fault at the service for the next `count` requests to `endpoint` (a file
// name without ".php"). NoServer is not the service's to arm: see ClosedHostPort().
void ArmAtService(CDemoService& service, ServerFault fault, const std::string& endpoint, int count = 1);

// Ticks every 20 ms on the GUI thread and keeps the longest gap between ticks.
class CFreezeWatch final {
public:
    CFreezeWatch();
    // Starts a fresh measurement.
    void Restart();
    qint64 LongestGapMs() const;

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
};

// An operator logged in to a fresh demo service (refresh and chat poll left to the
// test), over the real transport with the short time-outs, with fake platform
// services. The identity is set as the login exchange would set it.
struct FaultSession {
    explicit FaultSession(const std::string& loginId = "admin",
                          std::vector<std::string> serviceArgs = {"--refresh-seconds", "3", "--chat-poll-seconds", "2"});

    // Waits until no asynchronous exchange is under way, i.e. every reply has been
    // handled; false after timeoutMs.
    bool WaitIdle(int timeoutMs = 10000);

    CDemoService service;
    FakePlatform fakes;
    platform::Platform& platform = fakes.platform;
    net::CServerLink link{std::make_shared<net::CCurlTransport>(ShortLimits())};
    session::CSession session{link, &fakes.browser};
};

// The boxes shown with this caption.
int BoxesCaptioned(const FakeMessageBoxes& boxes, const QString& caption);

} // namespace kivora::test
