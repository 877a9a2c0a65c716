#pragma once

#include "net/Replies.h"
#include "net/Requests.h"

#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kivora::net {
class CServerLink;
}
namespace kivora::platform {
class IBrowser;
}

namespace kivora::session {

// Where the console stands with the service.
enum class Connection {
    Connecting, // logging in; nothing has been heard yet
    Online,     // the last exchange worked
    Trouble,    // exchanges fail: since TroubleSince(), Failures() of them in a row
    Ending,     // logging out or closing: nothing more is asked
};

// What the windows of one session share: the console's memory of chat-request
// pop-ups, the pop-ups' stacking and the one click that acts, and the typing
// notice of the chat inputs. One per session, handed to the windows that need it.
struct SharedWindowState {
    std::string lastPopupSession; // the visitor the last pop-up was raised for
    bool popupShown = false;      // a pop-up is up
    int popupCount = 0;           // pop-ups open at once; each stacks above the last
    bool popupClickArmed = true;  // the next click on a pop-up accepts
    bool typingNoticeSent = false; // whether the last change of a chat input sent a notice
};

// What a log-in came to.
struct LoginOutcome {
    bool exchanged = false; // false: the login request itself failed, nothing to tell
    net::LoginReply reply;
};

// The one owner of what the console knows about its session: who the operator
// is, where the service is and the periods it named, whether it can be reached
// (with the count of failures in a row), the presence the operator chose, the
// visitors' details, and the log-in and log-out sequences. Windows read it and
// watch its signals; none of them writes it or waits on the network.
class CSession final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSession)
public:
    // browser opens the service's pages; without one they open nowhere.
    explicit CSession(net::CServerLink& link, platform::IBrowser* browser = nullptr, QObject* parent = nullptr);
    ~CSession() override;

    net::CServerLink& Link() const { return link; }

    // Who the operator is, as every request names them; set by a successful log-in.
    const net::Identity& Who() const { return identity; }
    void SetIdentity(std::string loginId, std::string siteId);
    void SetAdmin(bool isAdmin) { identity.isAdmin = isAdmin; }

    // Where requests go: the built-in host (or the one given on the command line)
    // until the parameters reply names one, and the path prefix.
    const std::string& DefaultHost() const { return defaultHost; }
    void SetDefaultHost(std::string host) { defaultHost = std::move(host); }
    const std::string& Host() const { return host; }
    const std::string& PathPrefix() const { return pathPrefix; }
    void SetAddress(std::string newHost, std::string newPathPrefix);
    // The periods the service named, in milliseconds; 0 until it named any.
    int RefreshIntervalMs() const { return refreshIntervalMs; }
    int ChatPollIntervalMs() const { return chatPollIntervalMs; }
    void SetPeriods(int refreshMs, int chatPollMs);

    // Sends a request of the catalogue; target gets its reply (see CServerLink).
    void Send(const net::ServiceRequest& request, QObject* target);
    // Opens a page of the service (a URL tail) in the desktop's browser.
    bool OpenServicePage(std::string_view tail);
    // The parameters, on the calling thread (tests and tools that set a session up
    // without the login dialog); false when the exchange failed.
    bool FetchParams(std::string_view siteId);
    // Any URL tail, on the calling thread; for tests and tools.
    bool PerformRequest(std::string_view tail, std::string& reply);

    // Failed exchanges in a row; after the thirteenth the warning is raised once
    // and the count starts again from -2000. Any success sets it to 0.
    int FailureCount() const { return failureCount; }

    Connection State() const { return state; }
    // In trouble: since when exchanges fail, and how many failed in a row.
    const QDateTime& TroubleSince() const { return troubleSince; }
    int Failures() const { return failures; }

    // What the operator chose with the presence radios: on line unless they said
    // otherwise. Recovery goes back to it.
    bool ChosenOnline() const { return chosenOnline; }
    void SetChosenOnline(bool online) { chosenOnline = online; }

    // A visitor's details once known, kept for the whole session.
    const net::VisitorDetails* FindDetails(const std::string& sessionId) const;
    void StoreDetails(const std::string& sessionId, const net::VisitorDetails& details);
    const std::unordered_map<std::string, net::VisitorDetails>& DetailsCache() const { return detailsCache; }

    SharedWindowState& Shared() { return shared; }

    // The parameters and then the login, each on a worker; done runs on the GUI
    // thread with the outcome, unless the log-in was cancelled or context went.
    void LogIn(std::string loginId, std::string siteId, std::string password, QObject* context,
               std::function<void(const LoginOutcome&)> done);
    // Abandons a log-in under way: its replies reach nobody.
    void CancelLogIn();
    bool LoggingIn() const { return loggingIn; }

    // One of the last exchanges a session ends with: started with the function to
    // call once the service has answered it (or the exchange failed).
    using ClosingExchange = std::function<void(std::function<void()> answered)>;
    // Starts the exchanges and calls done once every one has been answered, or
    // after `wait`, whichever is first. From then on nothing is delivered.
    void EndAfter(std::vector<ClosingExchange> exchanges, std::chrono::milliseconds wait, std::function<void()> done);
    // The exchange that tells the service the operator leaves.
    ClosingExchange LogOutExchange();
    // Tells the service the operator leaves, then ends as EndAfter does.
    void LogOut(std::chrono::milliseconds wait, std::function<void()> done);
    // Ends the session without telling the service: nothing is delivered any more.
    void End();

Q_SIGNALS:
    void connectionChanged();
    // Exchanges work again after trouble: time to say again what was lost.
    void recovered();
    // The parameters could not be fetched; the login goes on with the defaults.
    void parametersFailed();
    // The thirteenth failed exchange in a row: the operator is to be told.
    void failureWarning();

private:
    void OnOutcome(bool ok);
    void SetState(Connection next);

    void ApplyParams(const std::string& reply);

    net::CServerLink& link;
    platform::IBrowser* browser = nullptr;
    net::Identity identity;
    std::string defaultHost;
    std::string host;
    std::string pathPrefix;
    int refreshIntervalMs = 0;
    int chatPollIntervalMs = 0;
    int failureCount = 0;
    Connection state = Connection::Connecting;
    QDateTime troubleSince;
    int failures = 0;
    bool chosenOnline = true;
    bool loggingIn = false;
    // Bumped by every log-in and cancel: replies of an abandoned one are ignored.
    unsigned loginGeneration = 0;
    std::unordered_map<std::string, net::VisitorDetails> detailsCache;
    SharedWindowState shared;
};

} // namespace kivora::session
