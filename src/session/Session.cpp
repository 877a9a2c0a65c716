#include "Session.h"

#include "net/ReplyCallback.h"
#include "net/ServerLink.h"
#include "net/ServiceAddress.h"
#include "res/Strings.h"

#include <QPointer>
#include <QTimer>

#include <memory>

namespace kivora::session {

CSession::CSession(net::CServerLink& link, QObject* parent) : QObject(parent), link(link)
{
    link.SetOutcomeListener([this](bool ok) { OnOutcome(ok); });
}

CSession::~CSession()
{
    link.SetOutcomeListener({});
}

void CSession::SetState(Connection next)
{
    if (state == next)
        return;
    state = next;
    Q_EMIT connectionChanged();
}

void CSession::OnOutcome(bool ok)
{
    if (state == Connection::Ending)
        return;
    if (ok) {
        const bool wasInTrouble = state == Connection::Trouble;
        failures = 0;
        SetState(Connection::Online);
        if (wasInTrouble)
            Q_EMIT recovered();
        return;
    }
    if (failures++ == 0)
        troubleSince = QDateTime::currentDateTime();
    if (state == Connection::Trouble) {
        Q_EMIT connectionChanged();
        return;
    }
    SetState(Connection::Trouble);
}

const net::VisitorDetails* CSession::FindDetails(const std::string& sessionId) const
{
    const auto found = detailsCache.find(sessionId);
    return found == detailsCache.end() ? nullptr : &found->second;
}

void CSession::StoreDetails(const std::string& sessionId, const net::VisitorDetails& details)
{
    detailsCache[sessionId] = details;
}

void CSession::LogIn(std::string loginId, std::string siteId, std::string password, QObject* context,
                     std::function<void(const LoginOutcome&)> done)
{
    const unsigned generation = ++loginGeneration;
    loggingIn = true;
    SetState(Connection::Connecting);
    // Asked again at each log-in: a failed fetch leaves the built-in host and path.
    link.host = link.DefaultHost();
    link.pathPrefix = res::LoadString(res::IDS_DEFAULT_PATH_PREFIX);

    auto current = [this, generation, context = QPointer<QObject>(context)] {
        return generation == loginGeneration && !context.isNull();
    };
    auto sendLogin = [this, current, loginId, siteId, password, context, done = std::move(done)] {
        auto* target = new net::CReplyCallback(
            this, [this, current, loginId, siteId, done](const std::string& text, bool ok) {
                if (!current())
                    return;
                loggingIn = false;
                LoginOutcome outcome;
                outcome.exchanged = ok;
                if (ok) {
                    outcome.reply = net::ParseLoginReply(text);
                    if (outcome.reply.isAdmin)
                        link.isAdmin = *outcome.reply.isAdmin;
                    if (outcome.reply.outcome == "true")
                        link.SetIdentity(loginId, siteId);
                }
                done(outcome);
            });
        const net::ServiceRequest login = net::request::Login(loginId, siteId, password);
        link.StartRequest(login.path, login.kind, target);
    };

    auto* target = new net::CReplyCallback(
        this, [this, current, sendLogin = std::move(sendLogin)](const std::string& text, bool ok) {
            if (!current())
                return;
            if (!ok) {
                Q_EMIT parametersFailed();
            } else if (const auto params = net::ParseParamsReply(text)) {
                link.refreshIntervalMs = params->refreshIntervalMs;
                link.chatPollIntervalMs = params->chatPollIntervalMs;
                link.host = net::HostKeepingScheme(link.DefaultHost(), params->host);
                link.pathPrefix = params->pathPrefix;
            }
            // A failed fetch has been told; the login goes on with the defaults.
            if (current())
                sendLogin();
        });
    const net::ServiceRequest params = net::request::Params(siteId);
    link.StartRequest(params.path, params.kind, target);
}

void CSession::CancelLogIn()
{
    ++loginGeneration;
    loggingIn = false;
}

void CSession::LogOut(std::chrono::milliseconds wait, std::function<void()> done)
{
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    auto once = [this, finish] {
        if (!*finish)
            return;
        const std::function<void()> run = std::move(*finish);
        *finish = nullptr;
        End();
        run();
    };
    SetState(Connection::Ending);
    const net::Identity who = link.Who();
    auto* target = new net::CReplyCallback(this, [once](const std::string&, bool) { once(); });
    const net::ServiceRequest logout = net::request::Logout(who);
    link.StartRequest(logout.path, logout.kind, target);
    QTimer::singleShot(wait, this, once);
}

void CSession::End()
{
    SetState(Connection::Ending);
    link.SetShuttingDown();
}

} // namespace kivora::session
