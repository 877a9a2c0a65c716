#pragma once

#include "Replies.h" // ServiceParams, ParseParamsReply and ReadLeadingInt live there
#include "Requests.h"
#include "ServiceAddress.h"
#include "Transport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QObject;

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
// the network thread only carries a request number.
class IReplyTarget {
public:
    virtual ~IReplyTarget() = default;
    // Runs on the GUI thread.
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

// Hands the session's requests to the transport, which runs them off the GUI
// thread, and each reply to the object that asked, on the GUI thread. Where
// requests go, who sends them and what their outcomes mean are the session's.
class CServerLink final {
public:
    explicit CServerLink(std::shared_ptr<ITransport> transport);
    // Stops every delivery and gives up the exchanges still in flight, so that none
    // outlives what it uses.
    ~CServerLink();
    CServerLink(const CServerLink&) = delete;
    CServerLink& operator=(const CServerLink&) = delete;

    // One GET of path (prefix, tail and query) at address, which the calling thread
    // waits for; for tests and tools. The reply is the body, or the error.
    bool PerformRequest(const ServiceAddress& address, std::string_view path, std::string& reply);
    // The same without waiting; target must implement IReplyTarget, or be null for
    // kinds nobody handles.
    void StartRequest(const ServiceAddress& address, std::string path, int kind, QObject* target);

    // Told on the GUI thread whether each exchange worked, before its reply is
    // handed on (also for exchanges whose reply nobody takes).
    void SetOutcomeListener(std::function<void(bool ok)> listener);

    bool ShuttingDown() const;
    void SetShuttingDown();
    // Asynchronous exchanges whose replies have not yet been handled (or dropped).
    int InFlight() const;

private:
    std::shared_ptr<ITransport> transport;
    std::shared_ptr<LinkCore> core;
    std::unique_ptr<CReplyDispatcher> dispatcher;
};

} // namespace kivora::net
