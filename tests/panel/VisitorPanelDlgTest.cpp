// The operator panel embedded in a host dialog, offscreen: the button row for
// each host, the administrator's buttons, the details and the keys that must not
// end anything.
#include "panel/VisitorPanelDlg.h"
#include "session/Session.h"

#include "net/Text.h"

#include "net/ServerLink.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"
#include "ui/DialogBuilder.h"
#include "ui/HyperLink.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace kivora;
using kivora::panel::CVisitorPanelDlg;

namespace {

// Controls are found by the id the builder records, not through the panel's own
// accessors, so that a wrong mapping in the panel shows.
QWidget* ById(const QWidget* panel, int id)
{
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (w->property("controlId").toInt() == id)
            return w;
    }
    return nullptr;
}

class VisitorPanelTest : public ::testing::Test {
protected:
    test::FakeMessageBoxes boxes;
    test::FakeBrowser browser;
    test::FakeSounds sounds;
    test::FakeLoginStore store;
    test::FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link{std::make_shared<test::ScriptedTransport>()};
    session::CSession session{link};

    // A host that treats Enter as OK and Escape as Cancel, as a dialog does.
    QDialog host;
    QPushButton* hostOk = new QPushButton(QStringLiteral("OK"), &host);
    CVisitorPanelDlg* panel = nullptr;
    int hostFinished = 0;

    void Make(bool hostedByConsole)
    {
        hostOk->setDefault(true);
        QObject::connect(hostOk, &QPushButton::clicked, &host, &QDialog::accept);
        QObject::connect(&host, &QDialog::finished, &host, [this] { ++hostFinished; });
        panel = new CVisitorPanelDlg(hostedByConsole, session, platform, &host);
    }

    void Show()
    {
        host.resize(700, 400);
        host.show();
    }

    QPushButton* ButtonById(int id) const { return qobject_cast<QPushButton*>(ById(panel, id)); }
};

struct RowCase {
    bool hostedByConsole;
    std::vector<int> row;    // left to right
    std::vector<int> hidden; // never shown in this host
};

class ButtonRow : public VisitorPanelTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(ButtonRow, IsCentredInTheTemplateWidthInsideItsFrame)
{
    const RowCase& c = GetParam();
    Make(c.hostedByConsole);

    const res::DialogTemplate tmpl = res::MakePanelTemplate();
    const ui::DialogUnits units = ui::ComputeDialogUnits(ui::DialogFont(tmpl));
    const int d = units.ToPixels(tmpl.cx, tmpl.cy).width();
    const QSize button = units.ToPixels(54, 14);
    const int n = static_cast<int>(c.row.size());
    const int expectedY = units.ScaleOriginalPixels(0, 120).y();
    int expectedX = (d - (n * button.width() + (n - 1) * 4)) / 2;

    // The host places and sizes the panel afterwards; the row stays put.
    panel->setGeometry(units.ScaleOriginalPixels(0, 300).x(), units.ScaleOriginalPixels(0, 300).y(),
                       units.ScaleOriginalPixels(600, 0).x(), units.ScaleOriginalPixels(0, 180).y());
    Show();

    const QRect frame = ById(panel, res::IDC_BUTTON_ROW)->geometry();
    for (int id : c.row) {
        QPushButton* b = ButtonById(id);
        SCOPED_TRACE(id);
        EXPECT_TRUE(b->isVisible());
        EXPECT_EQ(b->geometry(), QRect(expectedX, expectedY, button.width(), button.height()));
        EXPECT_TRUE(frame.contains(b->geometry()));
        expectedX += button.width() + 4;
    }
    EXPECT_GE(ButtonById(c.row.front())->x() - frame.left(), 0);
    EXPECT_LE(ButtonById(c.row.back())->geometry().right(), frame.right());
    for (int id : c.hidden) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(ButtonById(id)->isVisible());
    }
    EXPECT_TRUE(ButtonById(res::IDC_SEND_MESSAGE)->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, ButtonRow,
    ::testing::Values(RowCase{true,
                              {res::IDC_VIEW_MESSAGE, res::IDC_CONTROL_PANEL, res::IDC_TRANSCRIPTS, res::IDC_LOG_OUT},
                              {res::IDC_CHAT_TRANSFER}},
                      RowCase{false,
                              {res::IDC_VIEW_MESSAGE, res::IDC_CHAT_TRANSFER, res::IDC_TRANSCRIPTS},
                              {res::IDC_CONTROL_PANEL, res::IDC_LOG_OUT}}),
    [](const ::testing::TestParamInfo<RowCase>& info) {
        return std::string(info.param.hostedByConsole ? "Console" : "Chat");
    });

TEST_F(VisitorPanelTest, IsAChildOfItsHostThatTheHostCanPlace)
{
    Make(true);
    panel->setGeometry(0, 300, 600, 180);
    Show();
    EXPECT_FALSE(panel->isWindow());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), QRect(0, 300, 600, 180));
    EXPECT_TRUE(panel->HostedByConsole());
    EXPECT_FALSE(panel->transferred);
    EXPECT_TRUE(panel->chatSessionId.empty());
}

TEST_F(VisitorPanelTest, OperatorWithoutAdminRightsCannotUseAdminButtons)
{
    session.SetAdmin(false);
    Make(true);
    EXPECT_FALSE(ButtonById(res::IDC_CONTROL_PANEL)->isEnabled());
    EXPECT_FALSE(ButtonById(res::IDC_TRANSCRIPTS)->isEnabled());
    EXPECT_TRUE(ButtonById(res::IDC_VIEW_MESSAGE)->isEnabled());
    EXPECT_TRUE(ButtonById(res::IDC_LOG_OUT)->isEnabled());
    EXPECT_TRUE(ButtonById(res::IDC_SEND_MESSAGE)->isEnabled());
}

TEST_F(VisitorPanelTest, AdministratorCanUseAdminButtons)
{
    session.SetAdmin(true);
    Make(false);
    EXPECT_TRUE(ButtonById(res::IDC_CONTROL_PANEL)->isEnabled());
    EXPECT_TRUE(ButtonById(res::IDC_TRANSCRIPTS)->isEnabled());
    EXPECT_TRUE(ButtonById(res::IDC_CHAT_TRANSFER)->isEnabled());
}

TEST_F(VisitorPanelTest, AccessorsReachTheTemplatesControls)
{
    Make(true);
    for (int id : {res::IDC_SEND_MESSAGE, res::IDC_VIEW_MESSAGE, res::IDC_CONTROL_PANEL, res::IDC_TRANSCRIPTS,
                   res::IDC_LOG_OUT, res::IDC_CHAT_TRANSFER}) {
        EXPECT_EQ(panel->Button(id), ById(panel, id));
    }
    EXPECT_EQ(panel->Button(res::IDC_MESSAGE), nullptr);
    EXPECT_EQ(panel->MessageEdit(), ById(panel, res::IDC_MESSAGE));
    EXPECT_EQ(panel->OperatorsCombo(), ById(panel, res::IDC_OPERATORS));
}

const int kValueIds[] = {res::IDC_DETAIL_URL,     res::IDC_DETAIL_BROWSER, res::IDC_DETAIL_OS,
                         res::IDC_DETAIL_REFERRER, res::IDC_DETAIL_COLORS,  res::IDC_DETAIL_JAVA,
                         res::IDC_DETAIL_COUNTRY,  res::IDC_DETAIL_REGION,  res::IDC_DETAIL_CITY,
                         res::IDC_DETAIL_TIME,     res::IDC_DETAIL_LANGUAGE};

TEST_F(VisitorPanelTest, DetailsGoToTheirLabelsAndLinks)
{
    Make(true);
    Show();
    net::VisitorDetails details;
    for (std::size_t i = 0; i < details.size(); ++i)
        details[i] = "F" + std::to_string(i);
    details[net::kDetailCity] = "Z\xC3\xBCrich";
    details[net::kDetailUrl] = "http://f0.example/";
    details[net::kDetailReferrer] = "https://f3.example/";
    // Not valid UTF-8: shown byte for byte as Latin-1, as everywhere else.
    details[net::kDetailRegion] = "Z\xFCrich";
    panel->SetVisitorDetails(details);

    for (std::size_t i = 0; i < details.size(); ++i) {
        SCOPED_TRACE(i);
        auto* label = qobject_cast<QLabel*>(ById(panel, kValueIds[i]));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), net::FromServerText(details[i]));
        EXPECT_EQ(panel->DetailLabel(static_cast<int>(i)), label);
    }
    EXPECT_EQ(panel->Details(), details);

    auto* url = qobject_cast<ui::CHyperLink*>(ById(panel, res::IDC_DETAIL_URL));
    auto* referrer = qobject_cast<ui::CHyperLink*>(ById(panel, res::IDC_DETAIL_REFERRER));
    ASSERT_NE(url, nullptr);
    ASSERT_NE(referrer, nullptr);
    EXPECT_EQ(url->Target(), QStringLiteral("http://f0.example/"));
    EXPECT_TRUE(url->toolTip().contains(QStringLiteral("http://f0.example/")));
    EXPECT_EQ(url->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(referrer->Target(), QStringLiteral("https://f3.example/"));
    EXPECT_EQ(referrer->cursor().shape(), Qt::PointingHandCursor);

    // The links open through the platform's browser.
    QTest::mouseClick(referrer, Qt::LeftButton);
    ASSERT_EQ(browser.openedUrls.size(), 1u);
    EXPECT_EQ(browser.openedUrls[0], QStringLiteral("https://f3.example/"));
}

TEST_F(VisitorPanelTest, EmptyDetailsClearEverything)
{
    Make(false);
    net::VisitorDetails details;
    details.fill("old");
    panel->SetVisitorDetails(details);
    panel->SetVisitorDetails(net::VisitorDetails{});

    for (int id : kValueIds) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(qobject_cast<QLabel*>(ById(panel, id))->text().isEmpty());
    }
    for (int id : {res::IDC_DETAIL_URL, res::IDC_DETAIL_REFERRER}) {
        auto* link = qobject_cast<ui::CHyperLink*>(ById(panel, id));
        EXPECT_TRUE(link->Target().isEmpty());
        EXPECT_EQ(link->cursor().shape(), Qt::ArrowCursor);
    }
    QTest::mouseClick(panel->UrlLink(), Qt::LeftButton);
    EXPECT_TRUE(browser.openedUrls.empty());
}

TEST_F(VisitorPanelTest, MarkupInDetailsIsShownAsText)
{
    Make(true);
    net::VisitorDetails details;
    details[net::kDetailBrowser] = "<b>x</b>";
    details[net::kDetailOs] = "x";
    panel->SetVisitorDetails(details);
    EXPECT_GT(panel->DetailLabel(net::kDetailBrowser)->sizeHint().width(),
              3 * panel->DetailLabel(net::kDetailOs)->sizeHint().width());
}

// The fixture's host really does end on these keys when they reach it.
TEST_F(VisitorPanelTest, HostEndsOnEnterItself)
{
    Make(true);
    Show();
    QTest::keyClick(&host, Qt::Key_Return);
    EXPECT_FALSE(host.isVisible());
    EXPECT_EQ(hostFinished, 1);
}

TEST_F(VisitorPanelTest, EnterAndEscapeEndNeitherPanelNorHost)
{
    Make(true);
    Show();
    struct Target {
        QWidget* widget;
        Qt::Key key;
    };
    const Target targets[] = {
        {panel, Qt::Key_Return},
        {panel, Qt::Key_Enter},
        {panel, Qt::Key_Escape},
        {panel->MessageEdit(), Qt::Key_Return},
        {panel->MessageEdit(), Qt::Key_Escape},
        {panel->OperatorsCombo(), Qt::Key_Return},
        {panel->Button(res::IDC_VIEW_MESSAGE), Qt::Key_Return},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.key);
        t.widget->setFocus();
        QTest::keyClick(t.widget, t.key);
        EXPECT_TRUE(host.isVisible());
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(hostFinished, 0);
    }
    EXPECT_TRUE(panel->MessageEdit()->text().isEmpty());

    // Nor does anything that would end a dialog.
    panel->accept();
    panel->reject();
    panel->done(QDialog::Accepted);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(host.isVisible());
}

} // namespace
