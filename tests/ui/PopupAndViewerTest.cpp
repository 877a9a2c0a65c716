// The chat-request pop-up (placement, text, click, lifetime and the shared state
// across pop-ups), the message viewer, and the wave resources.
#include "ui/MessageViewDlg.h"
#include "session/Session.h"
#include "ui/RequestPopupDlg.h"

#include "res/Waves.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>

using kivora::ui::CMessageViewDlg;
using kivora::ui::CRequestPopupDlg;

namespace {

void RunDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class RequestPopupTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (QPointer<CRequestPopupDlg>& p : made)
            delete p.data();
        RunDeferredDeletes();
    }

    CRequestPopupDlg* Make(int row = 3, const char* address = "10.0.0.7", const char* session = "S42")
    {
        auto* popup = new CRequestPopupDlg(shared, row, address, session);
        made.emplace_back(popup);
        return popup;
    }

    static void Click(CRequestPopupDlg* popup) { QTest::mouseClick(popup->TextLabel(), Qt::LeftButton); }

    std::vector<QPointer<CRequestPopupDlg>> made;
    kivora::session::SharedWindowState shared;
};

TEST(RequestPopupPlacement, FirstSitsOnePixelBelowTheWorkAreaAndOthersStackAbove)
{
    const QSize size(180, 28);
    const QRect workArea(0, 0, 1920, 1040);
    EXPECT_EQ(CRequestPopupDlg::Placement(workArea, size, 1), QPoint(1740, 1013));
    EXPECT_EQ(CRequestPopupDlg::Placement(workArea, size, 2), QPoint(1740, 985));

    // A work area not at the origin (a panel on the left or top) shifts it.
    const QRect shifted(100, 50, 800, 600);
    EXPECT_EQ(CRequestPopupDlg::Placement(shifted, size, 1), QPoint(720, 623));
    EXPECT_EQ(CRequestPopupDlg::Placement(shifted, size, 2), QPoint(720, 595));
}

TEST_F(RequestPopupTest, OpensAtOnceInTheCornerWithoutTakingTheKeyboard)
{
    CRequestPopupDlg* first = Make();
    CRequestPopupDlg* second = Make();
    EXPECT_EQ(shared.popupCount, 2);

    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->pos(), CRequestPopupDlg::Placement(workArea, first->size(), 1));
    EXPECT_EQ(second->pos(), first->pos() - QPoint(0, first->height()));
    EXPECT_FALSE(first->isActiveWindow());
}

TEST_F(RequestPopupTest, ShowsTheAddressInDarkBlue)
{
    CRequestPopupDlg* popup = Make(0, "192.168.1.20");
    QLabel* label = popup->TextLabel();
    EXPECT_EQ(label->text(), QStringLiteral("Chat Request from: 192.168.1.20"));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 185));
    EXPECT_TRUE(popup->rect().contains(label->geometry()));
}

TEST_F(RequestPopupTest, FirstClickAcceptsAndLaterClicksDoNothingUntilAPopupEnds)
{
    CRequestPopupDlg* first = Make(3, "10.0.0.7", "S42");
    CRequestPopupDlg* second = Make(4, "10.0.0.8", "S43");
    QSignalSpy firstSpy(first, &CRequestPopupDlg::acceptRequested);
    QSignalSpy secondSpy(second, &CRequestPopupDlg::acceptRequested);

    Click(first);
    ASSERT_EQ(firstSpy.count(), 1);
    EXPECT_EQ(firstSpy.at(0).at(0).toInt(), 3);
    EXPECT_EQ(firstSpy.at(0).at(1).toString(), QStringLiteral("S42"));
    EXPECT_FALSE(shared.popupClickArmed);
    EXPECT_TRUE(first->isVisible()); // stays until its time is up

    Click(first);
    Click(second);
    EXPECT_EQ(firstSpy.count(), 1);
    EXPECT_EQ(secondSpy.count(), 0);

    // Once one ends, the next click works again.
    first->OnTimer();
    EXPECT_TRUE(shared.popupClickArmed);
    Click(second);
    ASSERT_EQ(secondSpy.count(), 1);
    EXPECT_EQ(secondSpy.at(0).at(1).toString(), QStringLiteral("S43"));
}

TEST_F(RequestPopupTest, EndingAfterEightSecondsFreesItAndCountsItOut)
{
    CRequestPopupDlg* popup = Make();
    EXPECT_EQ(popup->LifetimeTimer().interval(), CRequestPopupDlg::kLifetimeMs);
    EXPECT_EQ(CRequestPopupDlg::kLifetimeMs, 8000);
    EXPECT_TRUE(popup->LifetimeTimer().isActive());

    shared.popupClickArmed = false;
    QSignalSpy ended(popup, &CRequestPopupDlg::ended);
    QPointer<CRequestPopupDlg> watch(popup);
    popup->OnTimer();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(shared.popupCount, 0);
    EXPECT_TRUE(shared.popupClickArmed);
    EXPECT_FALSE(popup->LifetimeTimer().isActive());
    EXPECT_FALSE(popup->isVisible());

    // A second tick already queued must not count it out twice.
    popup->OnTimer();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(shared.popupCount, 0);

    RunDeferredDeletes();
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(shared.popupCount, 0);
}

TEST_F(RequestPopupTest, DestroyedEarlyStillCountsOutExactlyOnce)
{
    CRequestPopupDlg* kept = Make();
    CRequestPopupDlg* early = Make();
    EXPECT_EQ(shared.popupCount, 2);
    delete early;
    EXPECT_EQ(shared.popupCount, 1);

    // A pop-up opened now takes the freed place, above the one still open.
    CRequestPopupDlg* next = Make();
    EXPECT_EQ(next->pos(), kept->pos() - QPoint(0, kept->height()));
}

TEST_F(RequestPopupTest, GoesWithTheConsoleThatOwnsIt)
{
    QPointer<CRequestPopupDlg> popup;
    {
        QWidget console;
        popup = new CRequestPopupDlg(shared, 1, "10.0.0.9", "S1", &console);
        EXPECT_EQ(shared.popupCount, 1);
    }
    EXPECT_TRUE(popup.isNull());
    EXPECT_EQ(shared.popupCount, 0);
}

class MessageViewTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (QPointer<CMessageViewDlg>& v : made)
            delete v.data();
    }

    CMessageViewDlg* Make(const QString& text)
    {
        auto* view = new CMessageViewDlg(text);
        made.emplace_back(view);
        view->show();
        return view;
    }

    std::vector<QPointer<CMessageViewDlg>> made;
};

TEST_F(MessageViewTest, ShowsTheTextReadOnlyAndAsItCame)
{
    const QString text = QStringLiteral("Please take <b>visitor</b> 12 & call me.\nSecond line");
    CMessageViewDlg* view = Make(text);
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Message from Support Operator"));
    EXPECT_FALSE(view->windowIcon().isNull());
    EXPECT_TRUE(view->isWindow());
    EXPECT_EQ(view->parentWidget(), nullptr);
    EXPECT_TRUE(view->TextEdit()->isReadOnly());
    EXPECT_EQ(view->TextEdit()->toPlainText(), text);
    EXPECT_EQ(view->OkButton()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(view->OkButton()->isDefault());

    // Typing does not change it.
    view->TextEdit()->setFocus();
    QTest::keyClicks(view->TextEdit(), QStringLiteral("xyz"));
    EXPECT_EQ(view->TextEdit()->toPlainText(), text);
}

TEST_F(MessageViewTest, EmptyTextGivesAnEmptyField)
{
    EXPECT_TRUE(Make(QString())->TextEdit()->toPlainText().isEmpty());
}

struct CloseWay {
    const char* name;
    void (*close)(CMessageViewDlg*);
};

class MessageViewCloses : public MessageViewTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(MessageViewCloses, ClosesAndFreesItselfLeavingOthersOpen)
{
    CMessageViewDlg* other = Make(QStringLiteral("other"));
    QPointer<CMessageViewDlg> view = Make(QStringLiteral("first"));
    GetParam().close(view);
    EXPECT_TRUE(view.isNull() || !view->isVisible());
    RunDeferredDeletes();
    EXPECT_TRUE(view.isNull());

    EXPECT_TRUE(other->isVisible());
    EXPECT_EQ(other->TextEdit()->toPlainText(), QStringLiteral("other"));
}

INSTANTIATE_TEST_SUITE_P(
    AllWays, MessageViewCloses,
    ::testing::Values(
        CloseWay{"Ok", [](CMessageViewDlg* v) { QTest::mouseClick(v->OkButton(), Qt::LeftButton); }},
        CloseWay{"Escape", [](CMessageViewDlg* v) { QTest::keyClick(v, Qt::Key_Escape); }},
        CloseWay{"CloseBox", [](CMessageViewDlg* v) { v->close(); }}),
    [](const ::testing::TestParamInfo<CloseWay>& info) { return std::string(info.param.name); });

// The waves are what the platform layer plays by id; each must be a wave it can
// load and short enough not to hold up a synchronous play.
class WaveResources : public ::testing::TestWithParam<int> {};

TEST_P(WaveResources, AreShortSixteenBitMonoWavesWithoutClipping)
{
    kivora::res::RegisterWaves();
    kivora::res::RegisterWaves();
    QFile file(QStringLiteral(":/waves/%1.wav").arg(GetParam()));
    ASSERT_TRUE(file.exists());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 44);
    EXPECT_EQ(bytes.mid(0, 4), "RIFF");
    EXPECT_EQ(bytes.mid(8, 4), "WAVE");
    EXPECT_LT(bytes.size(), 30 * 1024);

    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    bool sawFormat = false;
    quint32 rate = 0;
    QByteArray data;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = u32(at + 4);
        if (id == "fmt ") {
            sawFormat = true;
            EXPECT_EQ(u16(at + 8), 1);  // PCM
            EXPECT_EQ(u16(at + 10), 1); // mono
            rate = u32(at + 12);
            EXPECT_EQ(u16(at + 22), 16);
        } else if (id == "data") {
            data = bytes.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    ASSERT_TRUE(sawFormat);
    EXPECT_EQ(rate, 22050u);
    ASSERT_FALSE(data.isEmpty());
    const double seconds = data.size() / 2.0 / rate;
    EXPECT_GE(seconds, 0.1);
    EXPECT_LT(seconds, 1.0);

    int peak = 0;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(data.constData() + i))));
    EXPECT_GT(peak, 1000);  // audible
    EXPECT_LT(peak, 32000); // headroom: never clipped
    // Soft edges: no click at either end.
    EXPECT_LT(std::abs(int(qFromLittleEndian<qint16>(data.constData()))), 200);
    EXPECT_LT(std::abs(int(qFromLittleEndian<qint16>(data.constData() + data.size() - 2))), 200);
}

INSTANTIATE_TEST_SUITE_P(EachSound, WaveResources, ::testing::Values(140, 141, 143, 154, 168));

} // namespace
