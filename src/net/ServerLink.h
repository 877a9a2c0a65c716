#pragma once

#include "Replies.h" // ServiceParams, ParseParamsReply and ReadLeadingInt live there
#include "Requests.h"
#include "Transport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QObject;

namespace kivora::platform {
class IBrowser;
class IMessageBoxes;
} // namespace kivora::platform

namespace kivora::net {

// Tags a request and its reply.
enum RequestKind : int {
    kKindNone = 1,
    kKindVisitorList = 2,
    kKindPresence = 3,
    kKindAcceptChat = 4,
    kKindVisitorDetails = 5,
    kKindProactive = 6,
    kKindVisitorAction = 7,
    kKindSaveMessage = 8,
    kKindMessages = 9,
    kKindTransfer = 10,
    kKindSendLine = 11,
    kKindChatPoll = 12,
    kKindOperatorTyping = 13,
    kKindVisitorTyping = 14,
    kKindEndChat = 15,
    kKindChatLists = 16,
    kKindChatDetails = 17,
    kKindNameMail = 18,
};

// Whether a reply of this kind is handed to its requester at all. Typing notices,
// proactive invitations and visitor actions are fire-and-forget; unknown kinds
// reach nobody.
bool IsDeliveredKind(int kind);

// A window that receives replies. Implemented by QObjects: the link keeps a weak
// reference to the requester on the GUI thread and checks it before delivering;
// the worker thread only carries a request number.
class IReplyTarget {
public:
    virtual ~IReplyTarget() = default;
    // Runs on the GUI thread while the worker that made the exchange waits.
    virtual void OnServerReply(int kind, const std::string& text) = 0;
    // The same, told whether the exchange itself worked: a failed one hands on the
    // error text (or nothing) as its text.
    virtual void OnServerOutcome(int kind, const std::string& text, bool /*ok*/) { OnServerReply(kind, text); }
};

// The period a timer runs at for a period the service named: a missing or zero
// one would make the timer fire continuously, so it falls back to fallbackMs, and
// none is shorter than a quarter of a second.
int TimerPeriodMs(int fromServiceMs, int fallbackMs);

class CReplyDispatcher;
struct LinkCore;

// The one way the console talks to the service. Synchronous exchanges run on the
// caller's thread; asynchronous ones on a worker thread of their own, whose reply is
// handed to the requesting window on the GUI thread.
class CServerLink final {
public:
    CServerLink(std::shared_ptr<ITransport> transport, platform::IMessageBoxes& messageBoxes,
                platform::IBrowser& browser);
    // Stops every delivery, makes exchanges still in flight give up, and waits a
    // little for their workers, so that none outlives what it uses.
    ~CServerLink();
    CServerLink(const CServerLink&) = delete;
    CServerLink& operator=(const CServerLink&) = delete;

    // The host used until the parameters reply names one (the built-in default,
    // or the one given on the command line).
    void SetDefaultHost(std::string hostField) { defaultHost = std::move(hostField); }
    const std::string& DefaultHost() const { return defaultHost; }

    bool PerformRequest(std::string_view urlTail, std::string& reply);
    // target must implement IReplyTarget, or be null for kinds nobody handles.
    void StartRequest(std::string urlTail, int kind, QObject* target);
    bool FetchParams(std::string_view siteId);
    void SetIdentity(std::string newLoginId, std::string newSiteId);
    std::string GetLoginId() const { return loginId; }
    std::string GetSiteId() const { return siteId; }
    // The operator as every request names them.
    Identity Who() const { return {loginId, siteId, isAdmin}; }
    void RequestChatLists(QObject* chatWindow);
    bool OpenInBrowser(std::string_view urlTail);

    // Told on the GUI thread whether each exchange worked, before its reply is
    // handed on (also for exchanges whose reply nobody takes).
    void SetOutcomeListener(std::function<void(bool ok)> listener);

    bool ShuttingDown() const;
    void SetShuttingDown();
    int FailureCount() const;
    // Asynchronous exchanges not yet finished (worker threads alive).
    int InFlight() const;

    std::string host;
    std::string pathPrefix;
    int refreshIntervalMs = 0;
    int chatPollIntervalMs = 0;
    std::string loginId;
    std::string siteId;
    bool isAdmin = false;

private:
    std::string defaultHost;
    std::shared_ptr<LinkCore> core;
    std::unique_ptr<CReplyDispatcher> dispatcher;
    platform::IBrowser& browser;
};

} // namespace kivora::net
