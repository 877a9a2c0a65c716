// The hyperlink static: its colours through hover and visits, its cursor and
// tooltip, and what a click opens.
#include "ui/HyperLink.h"

#include "support/Fakes.h"

#include <QEnterEvent>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QWidget>

#include <gtest/gtest.h>

using kivora::test::FakeBrowser;
using kivora::ui::CHyperLink;

namespace {

class HyperLinkTest : public ::testing::Test {
protected:
    QWidget host;
    CHyperLink* link = new CHyperLink(&host);
    FakeBrowser browser;

    void SetUp() override
    {
        link->setGeometry(10, 10, 200, 20);
        link->SetBrowser(&browser);
        host.resize(300, 60);
        host.show();
    }

    void Enter()
    {
        QEnterEvent event(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
        QCoreApplication::sendEvent(link, &event);
    }
    void Leave()
    {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(link, &event);
    }
    // What the tooltip shows: it is handed over as rich text that reads literally.
    QString ShownTip() const
    {
        QTextDocument shown;
        shown.setHtml(link->toolTip());
        return shown.toPlainText();
    }

    // The colour the label's text is painted in.
    QColor Painted() const { return link->palette().color(QPalette::Active, link->foregroundRole()); }
};

TEST_F(HyperLinkTest, IsUnderlinedPlainTextInLinkColourAtFirst)
{
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->TextColor(), CHyperLink::kLinkColor);
    EXPECT_EQ(Painted(), QColor(0, 0, 255));
    EXPECT_FALSE(link->autoFillBackground());

    // A visitor's referrer with markup in it is shown as it came.
    link->SetURL(QStringLiteral("<b>x</b>"));
    CHyperLink plain(&host);
    plain.setText(QStringLiteral("x"));
    EXPECT_GT(link->sizeHint().width(), 3 * plain.sizeHint().width());
}

TEST_F(HyperLinkTest, HoverTurnsRedAndLeavingTurnsItBack)
{
    link->SetURL(QStringLiteral("www.example.com"));
    Enter();
    EXPECT_TRUE(link->IsHovered());
    EXPECT_EQ(Painted(), QColor(255, 0, 0));
    Leave();
    EXPECT_FALSE(link->IsHovered());
    EXPECT_EQ(Painted(), QColor(0, 0, 255));
}

TEST_F(HyperLinkTest, VisitedColourWinsEvenUnderTheMouse)
{
    link->SetURL(QStringLiteral("www.example.com"));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(Painted(), QColor(5, 34, 143));
    Enter();
    EXPECT_EQ(Painted(), QColor(5, 34, 143));
    Leave();
    EXPECT_EQ(Painted(), QColor(5, 34, 143));
    // A new target does not make it unvisited.
    link->SetURL(QStringLiteral("www.other.example"));
    EXPECT_EQ(Painted(), QColor(5, 34, 143));
}

TEST_F(HyperLinkTest, ColourSurvivesAPaletteSetFromOutside)
{
    Enter();
    link->setPalette(QPalette(Qt::green));
    EXPECT_EQ(Painted(), QColor(255, 0, 0));
}

TEST_F(HyperLinkTest, HandCursorOnlyWhileThereIsATarget)
{
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
    link->SetURL(QStringLiteral("www.example.com"));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    link->SetURL(QString());
    EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
    link->SetLinkTarget(QStringLiteral("www.example.com"));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(HyperLinkTest, SetUrlShowsLinksAndTipsTheSameText)
{
    link->SetURL(QStringLiteral("http://www.example.com/a?b=1&c=2"));
    EXPECT_EQ(link->text(), QStringLiteral("http://www.example.com/a?b=1&c=2"));
    EXPECT_EQ(link->Target(), QStringLiteral("http://www.example.com/a?b=1&c=2"));
    EXPECT_EQ(ShownTip(), QStringLiteral("http://www.example.com/a?b=1&c=2"));
}

TEST_F(HyperLinkTest, SetEmailLinksToMailtoAndLeavesTheTooltip)
{
    link->SetURL(QStringLiteral("www.example.com"));
    link->SetEmail(QStringLiteral("ann@example.com"));
    EXPECT_EQ(link->text(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(link->Target(), QStringLiteral("mailto:ann@example.com"));
    EXPECT_EQ(ShownTip(), QStringLiteral("www.example.com"));
}

TEST_F(HyperLinkTest, SetEmailWithEmptyAddressKeepsTheEarlierTarget)
{
    link->SetURL(QStringLiteral("www.example.com"));
    link->SetEmail(QString());
    EXPECT_TRUE(link->text().isEmpty());
    EXPECT_EQ(link->Target(), QStringLiteral("http://www.example.com"));
    EXPECT_EQ(ShownTip(), QStringLiteral("www.example.com"));
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(HyperLinkTest, ClickOpensTheTargetMarksVisitedAndSignals)
{
    QSignalSpy clicked(link, &CHyperLink::clicked);
    link->SetEmail(QStringLiteral("ann@example.com"));
    browser.result = false; // a failure to open is not reported
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(browser.openedUrls.size(), 1u);
    EXPECT_EQ(browser.openedUrls[0], QStringLiteral("mailto:ann@example.com"));
    EXPECT_TRUE(link->IsVisited());
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(HyperLinkTest, ClickWithoutTargetOpensNothingButMarksVisited)
{
    QSignalSpy clicked(link, &CHyperLink::clicked);
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_TRUE(browser.openedUrls.empty());
    EXPECT_TRUE(link->IsVisited());
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(HyperLinkTest, ClickWithoutBrowserOnlyMarksVisited)
{
    link->SetBrowser(nullptr);
    link->SetURL(QStringLiteral("www.example.com"));
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_TRUE(browser.openedUrls.empty());
    EXPECT_TRUE(link->IsVisited());
}

TEST_F(HyperLinkTest, OnlyALeftReleaseInsideCounts)
{
    link->SetURL(QStringLiteral("www.example.com"));
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(5, 500));
    EXPECT_TRUE(browser.openedUrls.empty());
    EXPECT_FALSE(link->IsVisited());
}

// What a visitor or the service puts in a link opens only on the web or as a bare
// mail address; anything else is shown as it came, as plain text that does nothing.
TEST_F(HyperLinkTest, OnlyWebAndBareMailAddressesBecomeLinks)
{
    struct Case {
        bool email;
        QString given;
        QString target; // empty: shown as plain text
    };
    const Case cases[] = {
        {false, QStringLiteral("HTTPS://Example.com/a?b=1"), QStringLiteral("https://example.com/a?b=1")},
        {false, QStringLiteral("www.example.com:8080/p"), QStringLiteral("http://www.example.com:8080/p")},
        {false, QStringLiteral("file:///etc/passwd"), {}},
        {false, QStringLiteral("smb://host/share"), {}},
        {false, QStringLiteral("data:text/html,<b>x</b>"), {}},
        {false, QStringLiteral("javascript:alert(1)"), {}},
        {false, QStringLiteral("http://bank.example@evil.example/"), {}},
        {false, QStringLiteral("http://x.example/a b"), {}},
        {false, QStringLiteral("http://x.example/\u202Egpj.exe"), {}},
        {true, QStringLiteral("ann@example.com"), QStringLiteral("mailto:ann@example.com")},
        {true, QStringLiteral("a@b.example?attach=/etc/passwd"), {}},
        {true, QStringLiteral("a@b.example,c@d.example"), {}},
        {true, QStringLiteral("mailto:a@b.example"), {}},
        {true, QStringLiteral("a@b.example%3Fattach=x"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given.toStdString());
        CHyperLink probe(&host);
        probe.SetBrowser(&browser);
        if (c.email)
            probe.SetEmail(c.given);
        else
            probe.SetURL(c.given);
        EXPECT_EQ(probe.Target(), c.target);
        EXPECT_EQ(probe.IsPlain(), c.target.isEmpty());
        EXPECT_EQ(probe.font().underline(), !c.target.isEmpty());
        EXPECT_EQ(probe.cursor().shape(), c.target.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
        QTest::mouseClick(&probe, Qt::LeftButton);
        EXPECT_EQ(browser.openedUrls.empty(), c.target.isEmpty());
        EXPECT_EQ(probe.IsVisited(), !c.target.isEmpty());
        browser.openedUrls.clear();
    }
}

} // namespace
