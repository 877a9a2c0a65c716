// Where the console stands with the service, shown in its connection line and its
// tray icon; what it says again when the service is back; and logging out.
#include "ConsoleDlg.h"

#include "login/SavedLogin.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "session/ConnectionText.h"
#include "session/Session.h"

#include <QIcon>
#include <QLabel>

#include <chrono>

namespace kivora::console {

namespace {

// How long logging out waits for the service before the console ends anyway.
constexpr std::chrono::milliseconds kLogOutWait{3000};

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

void CConsoleDlg::LogOutAndEnd()
{
    if (destroyed || session.State() == kivora::session::Connection::Ending)
        return;
    // The windows go at once; the service gets a few seconds to hear of it.
    if (timerId != 0) {
        killTimer(timerId);
        timerId = 0;
    }
    hide();
    for (const QPointer<QObject>& window : chatWindows) {
        if (auto* widget = qobject_cast<QWidget*>(window.data()))
            widget->hide();
    }
    platform.tray.Remove();
    session.LogOut(kLogOutWait, [this] {
        login::DeleteSavedLogin(platform.loginStore);
        done(1);
    });
}

} // namespace kivora::console
