#include "faults/FaultHarness.h"

#include <QTest>

#include <algorithm>

namespace kivora::test {

net::TransportLimits ShortLimits()
{
    net::TransportLimits limits;
    limits.connectTimeoutMs = kConnectTimeoutMs;
    limits.totalTimeoutMs = kTotalTimeoutMs;
    return limits;
}

void ArmAtService(CDemoService& service, ServerFault fault, const std::string& endpoint, int count)
{
    const std::string where = "endpoint=" + endpoint;
    switch (fault) {
    case ServerFault::NoServer:
        ADD_FAILURE() << "NoServer is armed by pointing the link elsewhere";
        return;
    case ServerFault::Hang:
        // Longer than any test; the service releases it when it ends.
        service.Fault("hang", count, where + "&seconds=60");
        return;
    case ServerFault::Close:
        service.Fault("close", count, where);
        return;
    case ServerFault::Error500:
        service.Fault("error500", count, where);
        return;
    case ServerFault::Oversize:
        service.Fault("size", count, where + "&size=" + std::to_string(16u * 1024u * 1024u + 1u));
        return;
    case ServerFault::EmptyBody:
        service.Fault("body", count, where);
        return;
    case ServerFault::Trickle:
        // 64 bytes at ten a second: over six seconds, against a time-out of about one.
        service.Fault("trickle", count, where + "&size=64");
        return;
    }
}

CFreezeWatch::CFreezeWatch()
{
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
        const qint64 now = clock.elapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    Restart();
    timer.start();
}

void CFreezeWatch::Restart()
{
    clock.start();
    lastTick = 0;
    longestGap = 0;
}

qint64 CFreezeWatch::LongestGapMs() const
{
    // A freeze still going on counts too.
    return std::max(longestGap, clock.elapsed() - lastTick);
}

FaultSession::FaultSession(const std::string& loginId, std::vector<std::string> serviceArgs)
    : service(std::move(serviceArgs))
{
    session.SetDefaultHost(service.HostPort());
    EXPECT_TRUE(session.FetchParams("site1"));
    session.SetIdentity(loginId, "site1");
    // Tests drive the refresh and the chat polls themselves.
    session.SetPeriods(3'600'000, session.ChatPollIntervalMs());
    session.SetPeriods(session.RefreshIntervalMs(), 3'600'000);
}

bool FaultSession::WaitIdle(int timeoutMs)
{
    return QTest::qWaitFor([this] { return link.InFlight() == 0; }, timeoutMs);
}

int BoxesCaptioned(const FakeMessageBoxes& boxes, const QString& caption)
{
    return static_cast<int>(
        std::count_if(boxes.shown.begin(), boxes.shown.end(), [&](const ShownBox& box) { return box.caption == caption; }));
}

} // namespace kivora::test
