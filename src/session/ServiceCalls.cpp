#include "ServiceCalls.h"

#include "Session.h"
#include "net/ReplyCallback.h"
#include "net/ServerLink.h"

namespace kivora::session {

namespace {

using Handler = std::function<void(const std::string& text, bool ok)>;

void Send(CSession& session, const net::ServiceRequest& request, QObject* context, Handler done)
{
    net::CReplyCallback* target = nullptr;
    if (done && context)
        target = new net::CReplyCallback(context, std::move(done));
    session.Send(request, target);
}

// Parsed when the exchange worked; nothing otherwise.
template <typename T, typename Parse>
Handler Parsed(std::function<void(std::optional<T>)> done, Parse parse)
{
    return [done = std::move(done), parse](const std::string& text, bool ok) {
        done(ok ? parse(text) : std::nullopt);
    };
}

} // namespace

void RequestVisitorList(CSession& session, QObject* context, std::function<void(const std::string&, bool)> done)
{
    Send(session, net::request::VisitorList(session.Who()), context, std::move(done));
}

void SendPresence(CSession& session, bool online, QObject* context, std::function<void(std::optional<bool>)> done)
{
    Send(session, net::request::Presence(session.Who(), online), context,
         Parsed<bool>(std::move(done), [](const std::string& text) { return net::ParsePresenceReply(text); }));
}

void AcceptChat(CSession& session, const std::string& sessionId, const std::string& address, QObject* context,
                std::function<void(std::optional<net::AcceptReply>)> done)
{
    Send(session, net::request::Accept(session.Who(), sessionId, address), context,
         Parsed<net::AcceptReply>(std::move(done), [](const std::string& text) { return net::ParseAcceptReply(text); }));
}

void RequestDetails(CSession& session, const std::string& sessionId, QObject* context,
                    std::function<void(std::optional<net::VisitorDetails>)> done)
{
    Send(session, net::request::Details(sessionId), context,
         Parsed<net::VisitorDetails>(std::move(done),
                                     [](const std::string& text) { return net::ParseDetailsReply(text); }));
}

void SendProactive(CSession& session, const std::string& sessionId, bool sameWindow, const std::string& pageUrl)
{
    Send(session, net::request::Proactive(sessionId, sameWindow, pageUrl), nullptr, {});
}

void SendVisitorAction(CSession& session, net::VisitorAction action, const std::string& sessionId)
{
    Send(session, net::request::Action(session.Who(), action, sessionId), nullptr, {});
}

void OpenHistoryPage(CSession& session, const std::string& address)
{
    session.OpenServicePage(net::request::HistoryPage(session.Who(), address));
}

void SaveOperatorMessage(CSession& session, const std::string& addressee, const std::string& text, QObject* context,
                         std::function<void(const std::string&)> done)
{
    Send(session, net::request::SaveMessage(session.Who(), addressee, text), context,
         [done = std::move(done)](const std::string& reply, bool) { done(reply); });
}

void RequestOperatorMessages(CSession& session, bool all, QObject* context,
                             std::function<void(const net::OperatorMessages&)> done)
{
    Send(session, net::request::Messages(session.Who(), all), context,
         [done = std::move(done)](const std::string& text, bool) { done(net::ParseOperatorMessagesReply(text)); });
}

void TransferChat(CSession& session, const std::string& sessionId, const std::string& addressee, QObject* context,
                  std::function<void(bool)> done)
{
    Send(session, net::request::Transfer(session.Who(), sessionId, addressee), context,
         [done = std::move(done)](const std::string& text, bool ok) { done(ok && net::ParseTransferReply(text)); });
}

void OpenControlPanel(CSession& session)
{
    session.OpenServicePage(net::request::ControlPanelPage(session.Who()));
}

void OpenTranscripts(CSession& session)
{
    session.OpenServicePage(net::request::TranscriptsPage(session.Who()));
}

void SendChatLine(CSession& session, const std::string& sessionId, const std::string& line, QObject* context,
                  std::function<void(bool sent)> done)
{
    Send(session, net::request::SendLine(session.Who(), sessionId, line), context,
         [done = std::move(done)](const std::string&, bool ok) { done(ok); });
}

void PollChat(CSession& session, const std::string& sessionId, const std::string& address,
              const std::string& lastNumber, QObject* context, std::function<void(bool, const net::ChatPollReply&)> done)
{
    Send(session, net::request::ChatPoll(session.Who(), sessionId, address, lastNumber), context,
         [done = std::move(done)](const std::string& text, bool ok) {
             done(ok, ok ? net::ParseChatPollReply(text) : net::ChatPollReply{});
         });
}

void SendOperatorTyping(CSession& session, const std::string& sessionId)
{
    Send(session, net::request::OperatorTyping(session.Who(), sessionId), nullptr, {});
}

void RequestVisitorTyping(CSession& session, const std::string& sessionId, QObject* context,
                          std::function<void(bool)> done)
{
    Send(session, net::request::VisitorTyping(session.Who(), sessionId), context,
         [done = std::move(done)](const std::string& text, bool ok) {
             if (ok)
                 done(net::ParseVisitorTypingReply(text));
         });
}

void EndChat(CSession& session, const std::string& sessionId, QObject* context, std::function<void(bool)> done)
{
    Send(session, net::request::EndChat(session.Who(), sessionId), context,
         [done = std::move(done)](const std::string& text, bool ok) { done(ok && text == "true"); });
}

void RequestChatLists(CSession& session, QObject* context, std::function<void(std::optional<net::CannedLists>)> done)
{
    Send(session, net::request::ChatLists(session.Who()), context,
         Parsed<net::CannedLists>(std::move(done), [](const std::string& text) { return net::ParseCannedLists(text); }));
}

void RequestNameAndEmail(CSession& session, const std::string& sessionId, QObject* context,
                         std::function<void(std::optional<net::NameMailReply>)> done)
{
    Send(session, net::request::NameMail(session.Who(), sessionId), context,
         Parsed<net::NameMailReply>(std::move(done),
                                    [](const std::string& text) { return net::ParseNameMailReply(text); }));
}

} // namespace kivora::session
