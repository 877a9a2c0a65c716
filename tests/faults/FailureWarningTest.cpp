// The "Internet Connection" warning of a running console: failed exchanges of any
// kind count together, the thirteenth in a row warns once, a success starts the
// count again, and the console keeps working while the warning is up.
#include "faults/FaultHarness.h"

#include "console/ConsoleDlg.h"
#include "res/DialogTemplates.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace kivora;
using namespace kivora::test;

namespace {

const QString kConnectionCaption = QStringLiteral("Internet Connection");
const QString kNoResponse = QStringLiteral("No Response from Server. Please check your internet connection.");

class FailureWarning : public ::testing::Test {
protected:
    void StartConsole()
    {
        session.service.AddVisitor("ip=192.0.2.70&page=/index.html");
        console.SetLoginInfo("site1", "admin", "");
        console.OnInitDialog();
        console.RequestVisitorList();
        ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
        ASSERT_TRUE(session.WaitIdle());
    }
    void TearDown() override { console.OnDestroy(); }

    // One exchange of the console, waited for.
    void Refresh()
    {
        console.RequestVisitorList();
        ASSERT_TRUE(session.WaitIdle());
    }
    int Warnings() const { return BoxesCaptioned(session.fakes.boxes, kConnectionCaption); }

    FaultSession session;
    console::CConsoleDlg console{session.session, session.platform};
};

TEST_F(FailureWarning, TheThirteenthFailureInARowWarnsOnceWhicheverRequestsFailed)
{
    StartConsole();
    session.session.SetAddress(ClosedHostPort(), session.session.PathPrefix());
    // List refreshes, presence changes and chat accepts, mixed.
    for (int i = 0; i < 12; ++i) {
        switch (i % 3) {
        case 0:
            console.RequestVisitorList();
            break;
        case 1:
            console.SendPresence(true);
            break;
        default:
            console.AcceptChatSession("c0000000000000000", "192.0.2.70");
            break;
        }
        ASSERT_TRUE(session.WaitIdle());
    }
    EXPECT_EQ(session.session.FailureCount(), 12);
    EXPECT_TRUE(session.fakes.boxes.shown.empty());

    Refresh();
    ASSERT_EQ(session.fakes.boxes.shown.size(), 1u);
    const ShownBox& box = session.fakes.boxes.shown[0];
    EXPECT_EQ(box.text, kNoResponse);
    EXPECT_EQ(box.caption, kConnectionCaption);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.icon, platform::BoxIcon::Error);

    // The count starts again far below zero: the next failures stay quiet.
    for (int i = 0; i < 20; ++i)
        Refresh();
    EXPECT_EQ(Warnings(), 1);
    EXPECT_EQ(session.session.FailureCount(), -2000 + 20);

    session.session.SetAddress(session.service.HostPort(), session.session.PathPrefix());
    Refresh();
    EXPECT_EQ(session.session.FailureCount(), 0);
    EXPECT_EQ(console.Model().Count(), 1);
}

TEST_F(FailureWarning, ASuccessInBetweenStartsTheCountAgain)
{
    StartConsole();
    // Only the list fails; the presence exchange in the middle goes through.
    session.service.Fault("close", 100, "endpoint=w-allonlineu");
    for (int i = 0; i < 12; ++i)
        Refresh();
    EXPECT_EQ(session.session.FailureCount(), 12);
    console.SendPresence(true);
    ASSERT_TRUE(session.WaitIdle());
    // The success starts the count again; it also ends the trouble, and the list
    // asked for again at once (still failing) is the first of the new count.
    EXPECT_EQ(session.session.FailureCount(), 1);

    for (int i = 0; i < 11; ++i)
        Refresh();
    EXPECT_EQ(Warnings(), 0);
    Refresh();
    EXPECT_EQ(Warnings(), 1);
}

TEST_F(FailureWarning, WhileTheWarningIsUpTheConsoleGoesOnRefreshing)
{
    // The console refreshes by itself four times a second.
    session.session.SetPeriods(250, session.session.ChatPollIntervalMs());
    StartConsole();
    int rowsWhenWarned = -1;
    bool refilledDuringBox = false;
    session.fakes.boxes.onShow = [&](const ShownBox& box) {
        if (box.caption != kConnectionCaption)
            return;
        // A real box is modal; the replies that arrive meanwhile are still handled.
        rowsWhenWarned = console.Model().IsStale() ? console.Model().Count() : -1;
        refilledDuringBox = QTest::qWaitFor([&] { return !console.Model().IsStale(); }, 5000);
    };
    session.service.Fault("close", 13, "endpoint=w-allonlineu");
    CFreezeWatch watch;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Warnings() == 1; }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.session.FailureCount() == 0; }, 5000));
    QTest::qWait(500);

    // The last rows stay through the trouble, shown as stale.
    EXPECT_EQ(rowsWhenWarned, 1);
    EXPECT_TRUE(refilledDuringBox);
    EXPECT_EQ(Warnings(), 1);
    EXPECT_EQ(console.Model().Count(), 1);
    EXPECT_LT(watch.LongestGapMs(), kFreezeBoundMs);
}

} // namespace
