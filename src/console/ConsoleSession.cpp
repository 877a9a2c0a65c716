// Where the console stands with the service, shown in its connection line and its
// tray icon; what it says again when the service is back; and logging out.
#include "ConsoleDlg.h"

#include "login/SavedLogin.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "session/ConnectionText.h"
#include "session/ServiceCalls.h"
#include "session/Session.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>

#include <chrono>

namespace kivora::console {

namespace {

// How long logging out, or quitting with chats to end, waits for the service
// before the console ends anyway.
constexpr std::chrono::milliseconds kLogOutWait{3000};
// How long quitting waits for the service to hear that the operator is off line.
constexpr std::chrono::milliseconds kOffLineWait{2000};

QIcon TroubleIcon()
{
    // The program's icon, greyed as the desktop greys a disabled one.
    const QIcon icon = res::AppIcon();
    QIcon grey;
    for (const int size : {16, 22, 24, 32, 48, 64})
        grey.addPixmap(icon.pixmap(size, QIcon::Disabled));
    return grey;
}

} // namespace

void CConsoleDlg::SetUpConnectionLine()
{
    connectionLine = new QLabel(this);
    connectionLine->setObjectName(QStringLiteral("connectionLine"));
    connectionLine->setAccessibleName(QStringLiteral("Connection"));
    connectionLine->setTextFormat(Qt::PlainText);
    connectionLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    connectionLine->setIndent(2);
    const int top = qMax(height(), panel->geometry().bottom() + 1);
    const int lineHeight = fontMetrics().height() + 6;
    const int width = qMax(this->width(), panel->geometry().right() + 1);
    connectionLine->setGeometry(0, top, width, lineHeight);
    connectionLine->show();
    setFixedSize(width, top + lineHeight);
}

void CConsoleDlg::ShowConnection()
{
    if (!connectionLine)
        return;
    const QString text = kivora::session::ConnectionText(session, listUpdated);
    if (connectionLine->text() == text)
        return;
    connectionLine->setText(text);
    // The tray says the same, and its icon greys while in trouble.
    const bool trouble = session.State() == kivora::session::Connection::Trouble;
    platform.tray.Update(trouble ? TroubleIcon() : res::AppIcon(),
                         QStringLiteral("Kivora Online") + QLatin1Char('\n') + text);
}

void CConsoleDlg::OnRecovered()
{
    if (destroyed || link.ShuttingDown())
        return;
    // The service may have let the operator's presence lapse while it could not be
    // reached: it is told again, and the list is asked for as soon as it has
    // answered, so that the list names the operator on line again.
    if (session.ChosenOnline())
        SendPresence(true, [this] { RequestVisitorList(); });
    else
        RequestVisitorList();
}

bool CConsoleDlg::LogOutAndEnd()
{
    return Leave(Leaving::LogOut);
}

bool CConsoleDlg::Leave(Leaving how)
{
    if (destroyed || leaving || session.State() == kivora::session::Connection::Ending)
        return true;
    // Open chats are visitors waiting for an answer: they are not ended by a slip.
    std::vector<chat::CChatDlg*> chats;
    for (const QPointer<QObject>& window : chatWindows) {
        if (auto* chat = qobject_cast<chat::CChatDlg*>(window.data()))
            chats.push_back(chat);
    }
    if (!chats.empty() &&
        !platform.messageBoxes.Ask(this, QStringLiteral("%1 chats are open. End them and quit?").arg(chats.size()),
                                   QStringLiteral("Kivora")))
        return false;
    leaving = true;

    // The windows go at once; the service gets a few seconds to hear of it.
    if (timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
    hide();
    for (const QPointer<QObject>& window : popups) {
        if (auto* widget = qobject_cast<QWidget*>(window.data()))
            widget->hide();
    }
    platform.tray.Remove();

    std::vector<kivora::session::CSession::ClosingExchange> last;
    for (chat::CChatDlg* chat : chats) {
        last.emplace_back([chat = QPointer<chat::CChatDlg>(chat)](std::function<void()> answered) {
            if (chat)
                chat->EndWithService(std::move(answered));
            else
                answered();
        });
    }
    if (how == Leaving::LogOut) {
        last.push_back(session.LogOutExchange());
        session.EndAfter(std::move(last), kLogOutWait, [this] {
            login::DeleteSavedLogin(platform.loginStore);
            done(1);
        });
        return true;
    }
    // Quitting keeps the saved login, but the service stops routing chats to an
    // operator who is gone.
    last.emplace_back([this](std::function<void()> answered) {
        kivora::session::SendPresence(session, false, this,
                                      [answered = std::move(answered)](std::optional<bool>) { answered(); });
    });
    session.EndAfter(std::move(last), chats.empty() ? kOffLineWait : kLogOutWait, [this] { done(1); });
    return true;
}

void CConsoleDlg::closeEvent(QCloseEvent* event)
{
    // The close box quits as tray Exit does, after the same question.
    if (destroyed || leaving) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    Leave(Leaving::Quit);
}

} // namespace kivora::console
