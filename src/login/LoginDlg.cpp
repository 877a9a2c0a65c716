#include "LoginDlg.h"

#include "AboutDlg.h"
#include "LoginReply.h"
#include "SavedLogin.h"
#include "net/Endpoints.h"
#include "net/ServerLink.h"
#include "net/Text.h"
#include "platform/Platform.h"
#include "res/Images.h"
#include "res/Strings.h"
#include "ui/ClickableLabel.h"

#include <QCheckBox>
#include <QContextMenuEvent>
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

CLoginDlg::CLoginDlg(net::CServerLink& link, platform::Platform& platform, ConsoleRunner runConsole,
                     QWidget* parent)
    : QDialog(parent), link(link), platform(platform), runConsole(std::move(runConsole))
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
    connect(banner, &ui::CClickableLabel::clicked, this, &CLoginDlg::OnBannerClicked);
    connect(aboutButton, &QPushButton::clicked, this, &CLoginDlg::OnAbout);
    auto* aboutKey = new QShortcut(QKeySequence::HelpContents, this);
    connect(aboutKey, &QShortcut::activated, this, &CLoginDlg::OnAbout);
}

CLoginDlg::~CLoginDlg() = default;

int CLoginDlg::DoModal()
{
    OnInitDialog();
    if (ended)
        return result();
    return exec();
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
    statusLine->setText(QStringLiteral("Connecting to Kivora..."));
    // The exchange below blocks; show the status before it starts.
    statusLine->repaint();
    ReadTexts();
    if (!loginId.isEmpty() && !siteId.isEmpty() && !password.isEmpty()) {
        loginButton->setEnabled(false);
        LoginExchange();
        return;
    }
    platform.messageBoxes.Show(this, net::FromServerText(res::LoadString(res::IDS_EMPTY_FIELD)),
                               net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION)), platform::BoxIcon::Error);
}

bool CLoginDlg::LoginExchange()
{
    const std::string site = net::ToServerText(siteId);
    const std::string login = net::ToServerText(loginId);
    const std::string pwd = net::ToServerText(password);

    // A failure here has been reported already; the login goes on with the
    // default host and path.
    link.FetchParams(site);

    std::string reply;
    if (!link.PerformRequest(net::MakeUrl(res::IDS_URL_LOGIN, {login, site, pwd}), reply)) {
        statusLine->clear();
        loginButton->setEnabled(true);
        return false;
    }

    const QString caption = net::FromServerText(res::LoadString(res::IDS_MESSAGE_CAPTION));
    const LoginReply parsed = ParseLoginReply(reply);
    if (parsed.isAdmin)
        link.isAdmin = *parsed.isAdmin;

    if (parsed.outcome == "true") {
        if (savePasswordBox->isChecked())
            SaveLogin(platform.loginStore, SavedLogin{login, site, pwd});
        EndDialogOk();
        link.SetIdentity(login, site);
        if (runConsole)
            runConsole(ConsoleStart{site, login, parsed.siteAddress});
        return true;
    }

    platform.messageBoxes.Show(this, net::FromServerText(RefusalText(parsed.outcome, res::ServiceWebAddress())), caption,
                               platform::BoxIcon::Warning);
    statusLine->clear();
    loginButton->setEnabled(true);
    return false;
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
