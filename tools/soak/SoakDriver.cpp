// kivora-soak: the console's real session (automatic login from a saved login, the
// console, its chat windows, the server link over libcurl) run unattended for a
// long time against a service, acting like a busy operator: it keeps a number of
// chats open, answers in them, looks at visitors' details, closes chats the
// visitors left and accepts new ones. scripts/soak watches its memory and threads.
//
// Platform services that would wait for a person or leave the machine are replaced:
// message boxes are written to standard error, pages are not opened in a browser.

#include "app/ConsoleApp.h"
#include "chat/ChatDlg.h"
#include "console/ConsoleDlg.h"
#include "login/SavedLogin.h"
#include "net/CurlTransport.h"
#include "net/ServerLink.h"
#include "platform/Platform.h"
#include "platform/QtPlatform.h"
#include "res/DialogTemplates.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace kivora;

class CLoggedBoxes final : public platform::IMessageBoxes {
public:
    void Show(QWidget*, const QString& text, const QString& caption, platform::BoxIcon) override
    {
        ++shown;
        std::fprintf(stderr, "kivora-soak: box \"%s\": %s\n", qPrintable(caption), qPrintable(text));
    }
    // The soak's operator answers every question with Yes.
    bool Ask(QWidget*, const QString& text, const QString& caption) override
    {
        std::fprintf(stderr, "kivora-soak: question \"%s\": %s\n", qPrintable(caption), qPrintable(text));
        return true;
    }
    int shown = 0;
};

class CNoBrowser final : public platform::IBrowser {
public:
    bool OpenUrl(const QString&) override { return true; }
    bool OpenServicePage(const QString&) override { return true; }
};

// The desktop's tray, keeping the console's tray actions so that the run can end
// through the tray menu's Exit like an operator would.
class CTrayWithActions final : public platform::ITray {
public:
    void Add(const QIcon& icon, const QString& tip) override { tray.Add(icon, tip); }
    void Remove() override { tray.Remove(); }
    bool IsShown() const override { return tray.IsShown(); }
    void SetActions(platform::TrayActions newActions) override
    {
        actions = newActions;
        tray.SetActions(std::move(newActions));
    }

    platform::TrayActions actions;

private:
    platform::CQtTray tray;
};

struct Settings {
    std::string service;
    int chats = 5;
    int minutes = 30;
    int replySeconds = 8;
    int chatMinutes = 3; // a chat is closed by the operator after this long
};

struct Counters {
    int accepted = 0;
    int closed = 0;
    int linesSent = 0;
    int detailsViewed = 0;
};

// Acts on the console once a second while the session runs, and ends it by the
// tray's Exit when the time is up.
class CSoakOperator final {
public:
    CSoakOperator(const Settings& settings, net::CServerLink& link, CTrayWithActions& tray, CLoggedBoxes& boxes)
        : settings(settings), link(link), tray(tray), boxes(boxes)
    {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { Step(); });
        timer.start(1000);
    }

    const Counters& Totals() const { return counters; }

private:
    void Step()
    {
        if (!console) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<console::CConsoleDlg*>(widget))
                    console = found;
            }
            if (!console)
                return;
        }
        const qint64 seconds = clock.elapsed() / 1000;
        if (seconds >= settings.minutes * 60LL) {
            timer.stop();
            if (tray.actions.exit)
                tray.actions.exit();
            else
                console->done(1);
            return;
        }
        TendChats(seconds);
        AcceptRequests(seconds);
        // Ticks come late on a busy machine: act on what fell due since the last one.
        if (seconds >= nextDetailsAt) {
            nextDetailsAt = seconds + 20;
            ViewSomeDetails();
        }
        if (seconds / 60 != reportedMinute) {
            reportedMinute = seconds / 60;
            Report(reportedMinute);
        }
    }

    void TendChats(qint64 seconds)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* chat = qobject_cast<chat::CChatDlg*>(widget);
            if (!chat || !chat->isVisible())
                continue;
            const qint64 openedAt = opened.try_emplace(chat->SessionId(), seconds).first->second;
            if (!chat->IsPolling() || seconds - openedAt >= settings.chatMinutes * 60LL) {
                // The visitor left, or the chat has gone on long enough: the operator
                // closes it, and another visitor's chat takes its place.
                if (closing.emplace(chat->SessionId(), seconds).second) {
                    chat->CloseChatButton()->click();
                    ++counters.closed;
                }
                continue;
            }
            // The first answer a few seconds after the chat opened, then one every replySeconds.
            const auto last = lastReply.try_emplace(chat->SessionId(), seconds - settings.replySeconds + 3).first;
            if (seconds - last->second >= settings.replySeconds) {
                last->second = seconds;
                chat->Input()->setPlainText(QStringLiteral("Thanks for waiting, let me check that for you."));
                chat->OnSend();
                ++counters.linesSent;
            }
        }
    }

    void AcceptRequests(qint64 seconds)
    {
        // An accept whose reply has not come within half a minute may be tried again.
        std::erase_if(accepting, [seconds](const auto& entry) { return seconds - entry.second > 30; });
        std::erase_if(closing, [seconds](const auto& entry) { return seconds - entry.second > 300; });
        std::erase_if(lastReply, [seconds](const auto& entry) { return seconds - entry.second > 300; });
        std::erase_if(opened, [this](const auto& entry) { return closing.contains(entry.first); });
        int wanted = settings.chats - console->ChatWindowCount() - static_cast<int>(accepting.size());
        const auto& rows = console->Model().Rows();
        for (int row = 0; wanted > 0 && row < static_cast<int>(rows.size()); ++row) {
            const auto& record = rows[static_cast<std::size_t>(row)];
            if (!record.IsChatRequest() || accepting.contains(record.GetSessionId()))
                continue;
            accepting.emplace(record.GetSessionId(), seconds);
            console->AcceptChat(row);
            ++counters.accepted;
            --wanted;
        }
        // Accepted chats show up as windows; forget them once they have.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* chat = qobject_cast<chat::CChatDlg*>(widget))
                accepting.erase(chat->SessionId());
        }
    }

    void ViewSomeDetails()
    {
        const int count = console->Model().Count();
        if (count == 0)
            return;
        console->ListView()->selectRow(std::uniform_int_distribution<int>(0, count - 1)(random));
        console->UpdateButtons();
        console->ShowSelectedDetails();
        ++counters.detailsViewed;
    }

    void Report(qint64 minute)
    {
        std::printf("kivora-soak: minute %lld: %d visitors, %d chats open, %d accepted, %d closed, %d lines sent, "
                    "%d details viewed, %d boxes, %d exchanges under way\n",
                    static_cast<long long>(minute), console->Model().Count(), console->ChatWindowCount(),
                    counters.accepted, counters.closed, counters.linesSent, counters.detailsViewed, boxes.shown,
                    link.InFlight());
        std::fflush(stdout);
    }

    const Settings settings;
    net::CServerLink& link;
    CTrayWithActions& tray;
    CLoggedBoxes& boxes;
    QTimer timer;
    QElapsedTimer clock;
    QPointer<console::CConsoleDlg> console;
    std::map<std::string, qint64> accepting; // session id, when asked
    std::map<std::string, qint64> closing;   // session id, when Close Chat was clicked
    std::map<std::string, qint64> lastReply; // session id, when the operator last answered
    std::map<std::string, qint64> opened;    // session id, when its window was first seen
    qint64 nextDetailsAt = 0;
    qint64 reportedMinute = -1;
    Counters counters;
    std::mt19937 random{12345};
};

bool ParseSettings(const QStringList& arguments, Settings& settings)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs the operator console unattended against a service."));
    parser.addHelpOption();
    const QCommandLineOption service(QStringLiteral("service"), QStringLiteral("The service's HOST:PORT."),
                                     QStringLiteral("HOST:PORT"));
    const QCommandLineOption chats(QStringLiteral("chats"), QStringLiteral("Chats kept open (default 5)."),
                                   QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("How long to run (default 30)."),
                                     QStringLiteral("N"), QStringLiteral("30"));
    parser.addOption(service);
    parser.addOption(chats);
    parser.addOption(minutes);
    parser.process(arguments);
    bool chatsOk = false;
    bool minutesOk = false;
    settings.service = parser.value(service).toStdString();
    settings.chats = parser.value(chats).toInt(&chatsOk);
    settings.minutes = parser.value(minutes).toInt(&minutesOk);
    if (settings.service.empty() || !chatsOk || settings.chats < 0 || !minutesOk || settings.minutes < 1) {
        std::fprintf(stderr, "kivora-soak: needs --service HOST:PORT, --chats N >= 0 and --minutes N >= 1\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Settings settings;
    if (!ParseSettings(QApplication::arguments(), settings))
        return 2;

    // The saved login lives in a folder of this run only, so that the session logs
    // in by itself as the program does after "Save Password".
    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "kivora-soak: no temporary folder\n");
        return 1;
    }
    net::CCurlTransport::GlobalInit();
    CLoggedBoxes boxes;
    CNoBrowser browser;
    platform::CQtSounds sounds;
    platform::CFileLoginStore loginStore(folder.path().toStdString() + "/Login");
    CTrayWithActions tray;
    platform::Platform platform{boxes, browser, sounds, loginStore, tray};
    login::SaveLogin(loginStore, login::SavedLogin{"admin", "site1", "secret"});

    net::CServerLink link(std::make_shared<net::CCurlTransport>());
    CSoakOperator soakOperator(settings, link, tray, boxes);
    app::CConsoleApp::RunSession(link, platform, settings.service);

    const Counters& totals = soakOperator.Totals();
    std::printf("kivora-soak: ended: %d accepted, %d closed, %d lines sent, %d details viewed, %d boxes\n",
                totals.accepted, totals.closed, totals.linesSent, totals.detailsViewed, boxes.shown);
    return 0;
}
