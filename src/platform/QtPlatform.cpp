#include "QtPlatform.h"

#include "res/Waves.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

namespace kivora::platform {

void CQtMessageBoxes::Show(QWidget* owner, const QString& text, const QString& caption, BoxIcon icon)
{
    QMessageBox::Icon qtIcon = QMessageBox::Critical;
    if (icon == BoxIcon::Warning)
        qtIcon = QMessageBox::Warning;
    else if (icon == BoxIcon::Information)
        qtIcon = QMessageBox::Information;
    QMessageBox box(qtIcon, caption, text, QMessageBox::Ok, owner);
    // Many texts are the service's or a visitor's: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool CQtMessageBoxes::Ask(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

namespace {

// The web or mail address that target names, or an empty QUrl for anything else:
// the desktop's opener would hand another scheme (file:, smb:, a custom handler)
// to whatever program claims it. A bare host, "host/path" or "host:port/path"
// gets the web scheme, as the desktop's "open" of a host name does.
QUrl ToWebUrl(const QString& target)
{
    qsizetype schemeEnd = 0;
    while (schemeEnd < target.size() && target[schemeEnd].isLetterOrNumber() &&
           target[schemeEnd].unicode() < 0x80)
        ++schemeEnd;
    // "localhost:8080/..." is a host and a port, not a scheme called localhost.
    const bool hasScheme = schemeEnd > 0 && schemeEnd < target.size() && target[schemeEnd] == u':' &&
                           !(schemeEnd + 1 < target.size() && target[schemeEnd + 1].isDigit());
    const QUrl url = hasScheme ? QUrl(target, QUrl::StrictMode)
                               : QUrl(QStringLiteral("http://") + target, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return {};
    if (scheme == u"mailto")
        return url;
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty())
        return url;
    return {};
}

} // namespace

bool CQtBrowser::OpenUrl(const QString& target)
{
    const QUrl url = ToWebUrl(target);
    return !url.isEmpty() && QDesktopServices::openUrl(url);
}

bool CQtBrowser::OpenServicePage(const QString& url)
{
    const QUrl page = ToWebUrl(url);
    return !page.isEmpty() && QDesktopServices::openUrl(page);
}

struct CQtTray::Impl {
    QSystemTrayIcon icon;
    QMenu menu;
    QAction* showDialog = nullptr;
    TrayActions actions;
};

CQtTray::CQtTray() : impl(std::make_unique<Impl>())
{
    impl->showDialog = impl->menu.addAction(QStringLiteral("Show &Dialog"));
    QFont bold = impl->showDialog->font();
    bold.setBold(true);
    impl->showDialog->setFont(bold);
    impl->menu.setDefaultAction(impl->showDialog);
    QAction* logOut = impl->menu.addAction(QStringLiteral("&LogOut"));
    QAction* exit = impl->menu.addAction(QStringLiteral("E&xit"));
    Impl* d = impl.get();
    QObject::connect(impl->showDialog, &QAction::triggered, &impl->menu, [d] {
        if (d->actions.showDialog)
            d->actions.showDialog();
    });
    QObject::connect(logOut, &QAction::triggered, &impl->menu, [d] {
        if (d->actions.logOut)
            d->actions.logOut();
    });
    QObject::connect(exit, &QAction::triggered, &impl->menu, [d] {
        if (d->actions.exit)
            d->actions.exit();
    });
    QObject::connect(&impl->menu, &QMenu::aboutToShow, &impl->menu, [d] {
        d->showDialog->setEnabled(!(d->actions.dialogVisible && d->actions.dialogVisible()));
    });
    QObject::connect(&impl->icon, &QSystemTrayIcon::activated, &impl->menu,
                     [d](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::DoubleClick && d->actions.showDialog)
                             d->actions.showDialog();
                     });
    QObject::connect(&impl->icon, &QSystemTrayIcon::messageClicked, &impl->menu, [d] {
        if (d->actions.showDialog)
            d->actions.showDialog();
    });
    impl->icon.setContextMenu(&impl->menu);
}

QMenu* CQtTray::Menu() const
{
    return &impl->menu;
}

void CQtTray::SetActions(TrayActions actions)
{
    impl->actions = std::move(actions);
}

CQtTray::~CQtTray() = default;

void CQtTray::Add(const QIcon& icon, const QString& tip)
{
    impl->icon.setIcon(icon);
    impl->icon.setToolTip(tip);
    impl->icon.show();
}

void CQtTray::Update(const QIcon& icon, const QString& tip)
{
    impl->icon.setIcon(icon);
    // The tooltip shows plain text; escaped, nothing in it reads as markup.
    impl->icon.setToolTip(tip.toHtmlEscaped());
}

void CQtTray::Notify(const QString& title, const QString& text)
{
    // Desktop notification servers take the body for markup (links, images);
    // escaped, it shows as the plain text it is.
    if (impl->icon.isVisible() && QSystemTrayIcon::supportsMessages())
        impl->icon.showMessage(title.toHtmlEscaped(), text.toHtmlEscaped(), impl->icon.icon(), 10'000);
}

void CQtTray::Remove()
{
    impl->icon.hide();
}

bool CQtTray::IsShown() const
{
    return impl->icon.isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

struct CQtSounds::Impl {
    QMap<int, QSoundEffect*> effects;
};

CQtSounds::CQtSounds() : impl(std::make_unique<Impl>())
{
    res::RegisterWaves();
}

CQtSounds::~CQtSounds()
{
    qDeleteAll(impl->effects);
}

void CQtSounds::Play(int waveId, bool synchronous)
{
    const QString path = QStringLiteral(":/waves/%1.wav").arg(waveId);
    if (!QFile::exists(path))
        return;
    QSoundEffect*& effect = impl->effects[waveId];
    if (!effect) {
        effect = new QSoundEffect;
        effect->setSource(QUrl(QStringLiteral("qrc") + path));
    }
    effect->play();
    if (synchronous) {
        // Waits for the end of the sound, bounded, while still handling events.
        QElapsedTimer clock;
        clock.start();
        while ((effect->isPlaying() || effect->status() == QSoundEffect::Loading) && clock.elapsed() < 5000) {
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
}

} // namespace kivora::platform
