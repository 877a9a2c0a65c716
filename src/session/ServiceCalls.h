#pragma once

// One call per request of the service. Each fills its request from the session's
// identity, sends it, and hands what the reply says, parsed, to `done` on the GUI
// thread while `context` lives (nothing reaches an object that has gone, nor
// anybody once the session ends). A failed exchange is not the service saying
// anything: the calls say so as "nothing" (an empty optional, or ok false).

#include "net/Replies.h"
#include "net/Requests.h"

#include <functional>
#include <optional>
#include <string>

class QObject;

namespace kivora::session {

class CSession;

// The list reply is read in place by the console's records, so it is handed on
// as text.
void RequestVisitorList(CSession& session, QObject* context, std::function<void(const std::string& text, bool ok)> done);
void SendPresence(CSession& session, bool online, QObject* context, std::function<void(std::optional<bool> online)> done);
void AcceptChat(CSession& session, const std::string& sessionId, const std::string& address, QObject* context,
                std::function<void(std::optional<net::AcceptReply>)> done);
void RequestDetails(CSession& session, const std::string& sessionId, QObject* context,
                    std::function<void(std::optional<net::VisitorDetails>)> done);
void SendProactive(CSession& session, const std::string& sessionId, bool sameWindow, const std::string& pageUrl);
void SendVisitorAction(CSession& session, net::VisitorAction action, const std::string& sessionId);
void OpenHistoryPage(CSession& session, const std::string& address);

// The reply's text, or the failure's, is what the operator is shown.
void SaveOperatorMessage(CSession& session, const std::string& addressee, const std::string& text, QObject* context,
                         std::function<void(const std::string& shown)> done);
void RequestOperatorMessages(CSession& session, bool all, QObject* context,
                             std::function<void(const net::OperatorMessages&)> done);
void TransferChat(CSession& session, const std::string& sessionId, const std::string& addressee, QObject* context,
                  std::function<void(bool transferred)> done);
void OpenControlPanel(CSession& session);
void OpenTranscripts(CSession& session);

// done(true) once the service took the line, whatever it answered; done(false)
// when the exchange failed.
void SendChatLine(CSession& session, const std::string& sessionId, const std::string& line, QObject* context,
                  std::function<void(bool sent)> done);
void PollChat(CSession& session, const std::string& sessionId, const std::string& address,
              const std::string& lastNumber, QObject* context,
              std::function<void(bool ok, const net::ChatPollReply&)> done);
void SendOperatorTyping(CSession& session, const std::string& sessionId);
void RequestVisitorTyping(CSession& session, const std::string& sessionId, QObject* context,
                          std::function<void(bool typing)> done);
// done(false) for anything but the service's "true", a failure included.
void EndChat(CSession& session, const std::string& sessionId, QObject* context, std::function<void(bool ended)> done);
void RequestChatLists(CSession& session, QObject* context, std::function<void(std::optional<net::CannedLists>)> done);
void RequestNameAndEmail(CSession& session, const std::string& sessionId, QObject* context,
                         std::function<void(std::optional<net::NameMailReply>)> done);

} // namespace kivora::session
