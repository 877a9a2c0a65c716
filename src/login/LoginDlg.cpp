#include "LoginDlg.h"

#include "AboutDlg.h"
#include "LoginReply.h"
#include "SavedLogin.h"
#include "net/Endpoints.h"
#include "net/Text.h"
#include "session/Session.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "ui/ClickableLabel.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>

namespace kivora::login {

namespace {

QString AboutText()
{
    QString text = net::FromServerText(res::LoadString(res::IDS_ABOUTBOX));
    return text.remove(QLatin1Char('&'));
}

} // namespace

CLoginDlg::CLoginDlg(kivora::session::CSession& session, platform::Platform& platform, ConsoleRunner runConsole,
                     QWidget* parent)
    : QDialog(parent), session(session), platform(platform), runConsole(std::move(runConsole))
{
    controls = ui::BuildDialog(*this, *res::FindDialogTemplate(res::IDD_LOGIN));
    siteIdEdit = controls.As<QLineEdit>(res::IDC_SITE_ID);
    loginIdEdit = controls.As<QLineEdit>(res::IDC_LOGIN_ID);
    passwordEdit = controls.As<QLineEdit>(res::IDC_PASSWORD);
    savePasswordBox = controls.As<QCheckBox>(res::IDC_SAVE_PASSWORD);
    loginButton = controls.As<QPushButton>(res::IDC_LOGIN);
    statusLine = controls.As<QLabel>(res::IDC_STATUS);
    aboutButton = controls.As<QPushButton>(res::IDM_ABOUTBOX);

    setWindowIcon(res::AppIcon());
    auto* banner = controls.As<ui::CClickableLabel>(res::IDC_BANNER);
    banner->setPixmap(res::LoginBanner(banner->size() * devicePixelRatio()));
    banner->setCursor(Qt::PointingHandCursor);
    banner->setToolTip(net::FromServerText(res::LoadString(res::IDS_DEFAULT_HOST)));

    connect(loginButton, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    // The parameters could not be fetched: said at once, and the login goes on.
    connect(&session, &kivora::session::CSession::parametersFailed, this, [this] {
        this->platform.messageBoxes.Show(nullptr, QStringLiteral("Please check your internet connection."),
                                         QStringLiteral("Internet Connection"), platform::BoxIcon::Error);
    });
    connect(banner, &ui::CClickableLabel::clicked, this, &CLoginDlg::OnBannerClicked);
    connect(aboutButton, &QPushButton::clicked, this, &CLoginDlg::OnAbout);
    auto* aboutKey = new QShortcut(QKeySequence::HelpContents, this);
    connect(aboutKey, &QShortcut::activated, this, &CLoginDlg::OnAbout);
}

CLoginDlg::~CLoginDlg() = default;

int CLoginDlg::DoModal()
{
    runningModally = true;
    OnInitDialog();
    // An automatic login runs before the dialog is first shown: with valid saved
    // credentials it is never seen. The wait turns the event loop.
    if (session.LoggingIn()) {
        QEventLoop wait;
        connect(this, &CLoginDlg::loginSettled, &wait, &QEventLoop::quit);
        wait.exec();
    }
    if (!ended)
        exec();
    runningModally = false;
    RunPendingConsole();
    return result();
}

void CLoginDlg::RunPendingConsole()
{
    if (!pendingConsole)
        return;
    const ConsoleStart start = *pendingConsole;
    pendingConsole.reset();
    if (runConsole)
        runConsole(start);
}

void CLoginDlg::OnInitDialog()
{
    // The window menu belongs to the desktop here, so the About entry is a link on
    // the dialog (and F1, and the dialog's context menu).
    const QString about = AboutText();
    aboutButton->setText(about);
    aboutButton->setVisible(!about.isEmpty());

    const auto saved = LoadSavedLogin(platform.loginStore);
    if (!saved)
        return;
    loginId = net::FromServerText(saved->loginId);
    siteId = net::FromServerText(saved->siteId);
    password = net::FromServerText(saved->password);
    loginIdEdit->setText(loginId);
    siteIdEdit->setText(siteId);
    passwordEdit->setText(password);
    LoginExchange();
}

void CLoginDlg::ReadTexts()
{
    siteId = siteIdEdit->text();
    loginId = loginIdEdit->text();
    password = passwordEdit->text();
}

void CLoginDlg::OnLogin()
{
    if (session.LoggingIn()) {
        CancelLogin();
        return;
    }
    statusLine->setText(QStringLiteral("Connecting to Kivora..."));
    ReadTexts();
    if (!loginId.isEmpty() && !siteId.isEmpty() && !password.isEmpty()) {
        LoginExchange();
        return;
    }
    platform.messageBoxes.Show(this, net::FromServerText(res::LoadString(res::IDS_EMPTY_FIELD)),
                               net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION)), platform::BoxIcon::Error);
}

void CLoginDlg::LoginExchange()
{
    const std::string site = net::ToServerText(siteId);
    const std::string login = net::ToServerText(loginId);
    const std::string pwd = net::ToServerText(password);
    SetConnecting(true);
    session.LogIn(login, site, pwd, this, [this, login, site, pwd](const kivora::session::LoginOutcome& outcome) {
        OnLoginOutcome(outcome, SavedLogin{login, site, pwd});
    });
}

void CLoginDlg::SetConnecting(bool connecting)
{
    for (QWidget* field : {static_cast<QWidget*>(siteIdEdit), static_cast<QWidget*>(loginIdEdit),
                           static_cast<QWidget*>(passwordEdit), static_cast<QWidget*>(savePasswordBox)})
        field->setEnabled(!connecting);
    // While it connects the button abandons the attempt, as Escape does.
    loginButton->setText(connecting ? QStringLiteral("&Cancel") : QStringLiteral("L&ogin"));
    loginButton->setEnabled(true);
    if (connecting)
        statusLine->setText(QStringLiteral("Connecting to Kivora..."));
    else
        statusLine->clear();
}

void CLoginDlg::CancelLogin()
{
    if (!session.LoggingIn())
        return;
    session.CancelLogIn();
    SetConnecting(false);
    Q_EMIT loginSettled();
}

void CLoginDlg::OnLoginOutcome(const kivora::session::LoginOutcome& outcome, const SavedLogin& typed)
{
    if (!outcome.exchanged) {
        // The failure has been counted; nothing to say here.
        SetConnecting(false);
        Q_EMIT loginSettled();
        return;
    }
    if (outcome.reply.outcome == "true") {
        if (savePasswordBox->isChecked())
            SaveLogin(platform.loginStore, typed);
        EndDialogOk();
        pendingConsole = ConsoleStart{typed.siteId, typed.loginId, outcome.reply.siteAddress};
        Q_EMIT loginSettled();
        // Within the dialog's own run the console starts once that run is over;
        // otherwise (a login driven from outside) at once.
        if (!runningModally)
            RunPendingConsole();
        return;
    }
    const QString caption = net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION));
    platform.messageBoxes.Show(this, net::FromServerText(RefusalText(outcome.reply.outcome, res::ServiceWebAddress())),
                               caption, platform::BoxIcon::Warning);
    SetConnecting(false);
    Q_EMIT loginSettled();
}

void CLoginDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape while connecting abandons the attempt; otherwise it closes the dialog.
    if (event->key() == Qt::Key_Escape && session.LoggingIn()) {
        CancelLogin();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLoginDlg::EndDialogOk()
{
    ended = true;
    // Hides the dialog; its modal loop, if running, returns once this handler has.
    done(QDialog::Accepted);
}

void CLoginDlg::OnBannerClicked()
{
    platform.browser.OpenUrl(net::FromServerText(res::LoadString(res::IDS_DEFAULT_HOST)));
}

void CLoginDlg::OnAbout()
{
    if (runAbout) {
        runAbout();
        return;
    }
    CAboutDlg about(this);
    about.exec();
}

void CLoginDlg::contextMenuEvent(QContextMenuEvent* event)
{
    const QString about = net::FromServerText(res::LoadString(res::IDS_ABOUTBOX));
    if (about.isEmpty())
        return;
    QMenu menu(this);
    menu.addAction(about, this, &CLoginDlg::OnAbout);
    menu.exec(event->globalPos());
}

} // namespace kivora::login
