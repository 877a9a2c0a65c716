#include "ConsoleApp.h"

#include "BuildConfig.h"
#include "console/ConsoleDlg.h"
#include "login/LoginDlg.h"
#include "net/CurlTransport.h"
#include "net/ServerLink.h"
#include "platform/Platform.h"
#include "platform/QtPlatform.h"
#include "res/Strings.h"
#include "session/Session.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace kivora::app {

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Operator console of the Kivora live-chat service."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption serviceOption(
        QStringLiteral("service"),
        QStringLiteral("Talk to the service at HOST[:PORT] for this run instead of %1; "
                       "https://HOST[:PORT] talks TLS, with the server's certificate checked "
                       "against the system's trusted roots.")
            .arg(QString::fromStdString(res::LoadString(res::IDS_DEFAULT_HOST))),
        QStringLiteral("[https://]HOST[:PORT]"));
    parser.addOption(serviceOption);

    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        std::fprintf(stderr, "Try '%s --help'.\n", qPrintable(QCoreApplication::applicationName()));
        result.exitNow = true;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        result.exitNow = true;
        return result;
    }
    if (parser.isSet(versionOption)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()), KIVORA_VERSION);
        result.exitNow = true;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "Unexpected argument: %s\n", qPrintable(parser.positionalArguments().first()));
        result.exitNow = true;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(serviceOption)) {
        result.serviceHost = parser.value(serviceOption).trimmed().toStdString();
        if (result.serviceHost.empty()) {
            std::fprintf(stderr, "--service needs a host name.\n");
            result.exitNow = true;
            result.exitCode = 2;
        }
    }
    return result;
}

void ConfigureApplication()
{
    // No display name: the toolkit would append it to every window title and box
    // caption, and the captions are the program's own texts, exactly.
    // The desktop still matches the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.kivora.Console"));
    // The process lives exactly as long as the login dialog's modal run; hiding
    // the last window must not end the nested console loop.
    QApplication::setQuitOnLastWindowClosed(false);
}

int CConsoleApp::InitInstance(const CommandLine& commandLine)
{
    net::CCurlTransport::GlobalInit();
    platform::CQtMessageBoxes messageBoxes;
    platform::CQtBrowser browser;
    platform::CQtSounds sounds;
    platform::CFileLoginStore loginStore;
    platform::CQtTray tray;
    platform::Platform platform{messageBoxes, browser, sounds, loginStore, tray};

    net::CServerLink link(std::make_shared<net::CCurlTransport>());
    RunSession(link, platform, commandLine.serviceHost);
    return 0;
}

void CConsoleApp::RunSession(net::CServerLink& link, platform::Platform& platform, const std::string& serviceHost)
{
    session::CSession session(link, &platform.browser);
    if (!serviceHost.empty())
        session.SetDefaultHost(serviceHost);
    auto runConsole = [&](const login::ConsoleStart& start) {
        console::CConsoleDlg console(session, platform);
        console.SetLoginInfo(start.siteId, start.loginId, start.siteAddress);
        console.DoModal();
    };
    login::CLoginDlg loginDlg(session, platform, runConsole);
    loginDlg.DoModal();
    // Whichever way it ended, nothing more reaches anybody.
    session.End();
}

} // namespace kivora::app
