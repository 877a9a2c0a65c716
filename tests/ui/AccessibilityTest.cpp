// Keyboard and screen-reader access to every window: Tab runs through the
// controls in the order of the window's layout, every control has a name, and the
// mnemonics are unambiguous and reach their controls.
#include "chat/ChatDlg.h"
#include "session/Session.h"
#include "console/ConsoleDlg.h"
#include "login/LoginDlg.h"
#include "panel/VisitorPanelDlg.h"
#include "res/DialogTemplates.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"
#include "ui/DialogBuilder.h"
#include "ui/MessageViewDlg.h"
#include "ui/RequestPopupDlg.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace kivora;

namespace {

class NoOwner final : public chat::IChatOwner {
public:
    void RemoveChatWindow(QObject*) override {}
    void StoreVisitorDetails(const net::VisitorDetails&, const std::string&) override {}
};

int TemplateIndex(const res::DialogTemplate& tmpl, int controlId)
{
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
        if (tmpl.controls[i].id == controlId)
            return static_cast<int>(i);
    }
    return -1;
}

// The window's own controls that Tab stops at, in the order Tab visits them,
// starting from the one the template lists first.
std::vector<QWidget*> TabStops(QWidget* window, const res::DialogTemplate& tmpl)
{
    std::vector<QWidget*> stops;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain()) {
        if (w->parentWidget() == window && (w->focusPolicy() & Qt::TabFocus) && !w->isHidden() &&
            TemplateIndex(tmpl, w->property("controlId").toInt()) >= 0)
            stops.push_back(w);
    }
    const auto first = std::min_element(stops.begin(), stops.end(), [&](QWidget* a, QWidget* b) {
        return TemplateIndex(tmpl, a->property("controlId").toInt()) <
               TemplateIndex(tmpl, b->property("controlId").toInt());
    });
    std::rotate(stops.begin(), first, stops.end());
    return stops;
}

QString NameOf(QWidget* w)
{
    if (!w->accessibleName().isEmpty())
        return w->accessibleName();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return ui::AccessibleNameFromLabel(button->text());
    return {};
}

// The mnemonic letter of a caption, or 0.
QChar Mnemonic(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] != QLatin1Char('&'))
                return text[i + 1].toLower();
            ++i;
        }
    }
    return QChar();
}

void CheckWindow(QWidget* window, int dialogId)
{
    SCOPED_TRACE(dialogId);
    const res::DialogTemplate& tmpl = *res::FindDialogTemplate(dialogId);
    const std::vector<QWidget*> stops = TabStops(window, tmpl);
    ASSERT_FALSE(stops.empty());

    int last = -1;
    for (QWidget* w : stops) {
        const int id = w->property("controlId").toInt();
        const int index = TemplateIndex(tmpl, id);
        EXPECT_GT(index, last) << "control " << id << " is out of the layout's Tab order";
        last = index;
        EXPECT_FALSE(NameOf(w).isEmpty()) << "control " << id << " has no accessible name";
    }

    // One letter, one control; a label's letter moves the focus to its control.
    std::map<QChar, int> owners;
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isHidden())
            continue;
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(w))
            caption = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            caption = button->text();
        else if (auto* box = qobject_cast<QGroupBox*>(w))
            caption = box->title();
        const QChar letter = Mnemonic(caption);
        if (letter.isNull())
            continue;
        const int id = w->property("controlId").toInt();
        const auto [at, fresh] = owners.emplace(letter, id);
        EXPECT_TRUE(fresh) << "mnemonic " << letter.toLatin1() << " of control " << id << " is also control "
                           << at->second << "'s";
        auto* label = qobject_cast<QLabel*>(w);
        if (!label)
            continue;
        ASSERT_NE(label->buddy(), nullptr) << "label " << caption.toStdString() << " leads nowhere";
        ASSERT_EQ(QApplication::activeWindow(), window->window());
        QTest::keyClick(window, letter.toLatin1(), Qt::AltModifier);
        EXPECT_TRUE(label->buddy()->hasFocus()) << caption.toStdString();
    }
}

void Activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

class Accessibility : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedTransport> transport = std::make_shared<test::ScriptedTransport>();
    test::FakePlatform fakes;
    platform::Platform& platform = fakes.platform;
    net::CServerLink link{transport};
    session::CSession session{link, &fakes.browser};

    void SetUp() override
    {
        session.SetIdentity("admin", "site1");
        session.SetPeriods(3'600'000, 3'600'000);
    }
    void TearDown() override { EXPECT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000)); }
};

TEST_F(Accessibility, EveryWindowIsReachableAndNamedFromTheKeyboard)
{
    {
        login::CLoginDlg login(session, platform, [](const login::ConsoleStart&) {});
        login.OnInitDialog();
        Activate(&login);
        CheckWindow(&login, res::IDD_LOGIN);
    }
    {
        console::CConsoleDlg console(session, platform);
        console.SetLoginInfo("site1", "admin", "http://www.site1.example/");
        console.OnInitDialog();
        Activate(&console);
        CheckWindow(&console, res::IDD_CONSOLE);
        CheckWindow(console.Panel(), res::IDD_PANEL);
        console.hide();
    }
    {
        NoOwner owner;
        auto* chat = new chat::CChatDlg(owner, session, platform, "192.0.2.7", "c42", "Ann", "", false);
        chat->OnInitDialog();
        Activate(chat);
        CheckWindow(chat, res::IDD_CHAT);
        delete chat;
    }
    {
        ui::CMessageViewDlg viewer(QStringLiteral("anna: hello"));
        Activate(&viewer);
        CheckWindow(&viewer, res::IDD_MESSAGE_VIEW);
    }
}

TEST(AccessibleNameFromLabel, DropsMnemonicsAndTheColon)
{
    EXPECT_EQ(ui::AccessibleNameFromLabel(QStringLiteral("&Login ID: ")), QStringLiteral("Login ID"));
    EXPECT_EQ(ui::AccessibleNameFromLabel(QStringLiteral("&Proactive Pop URL :")), QStringLiteral("Proactive Pop URL"));
    EXPECT_EQ(ui::AccessibleNameFromLabel(QStringLiteral("Tom && Jerry")), QStringLiteral("Tom & Jerry"));
    EXPECT_EQ(ui::AccessibleNameFromLabel(QStringLiteral("trailing &")), QStringLiteral("trailing &"));
    EXPECT_EQ(ui::AccessibleNameFromLabel(QStringLiteral(" : ")), QString());
}

} // namespace
