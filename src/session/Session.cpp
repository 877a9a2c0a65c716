#include "Session.h"

#include "net/ReplyCallback.h"
#include "net/ServerLink.h"
#include "net/ServiceAddress.h"
#include "net/Text.h"
#include "platform/Browser.h"
#include "res/Strings.h"

#include <QPointer>
#include <QTimer>

#include <memory>

namespace kivora::session {

namespace {

constexpr int kFailuresBeforeWarning = 12;
constexpr int kFailureCountAfterWarning = -2000;

} // namespace

CSession::CSession(net::CServerLink& link, platform::IBrowser* browser, QObject* parent)
    : QObject(parent),
      link(link),
      browser(browser),
      defaultHost(res::LoadString(res::IDS_DEFAULT_HOST)),
      pathPrefix(res::LoadString(res::IDS_DEFAULT_PATH_PREFIX))
{
    host = defaultHost;
    link.SetOutcomeListener([this](bool ok) { OnOutcome(ok); });
}

void CSession::SetIdentity(std::string loginId, std::string siteId)
{
    identity.loginId = std::move(loginId);
    identity.siteId = std::move(siteId);
}

void CSession::SetAddress(std::string newHost, std::string newPathPrefix)
{
    host = std::move(newHost);
    pathPrefix = std::move(newPathPrefix);
}

void CSession::SetPeriods(int refreshMs, int chatPollMs)
{
    refreshIntervalMs = refreshMs;
    chatPollIntervalMs = chatPollMs;
}

void CSession::Send(const net::ServiceRequest& request, QObject* target)
{
    link.StartRequest(net::ParseServiceAddress(host), pathPrefix + request.path, request.kind, target);
}

bool CSession::OpenServicePage(std::string_view tail)
{
    // The scheme and port are spelt out: "localhost:8080/cpn/..." alone would be
    // read as an address of a scheme called localhost.
    const std::string url = net::ServiceOrigin(net::ParseServiceAddress(host)) + pathPrefix + std::string(tail);
    return browser && browser->OpenServicePage(net::FromServerText(url));
}

bool CSession::PerformRequest(std::string_view tail, std::string& reply)
{
    return link.PerformRequest(net::ParseServiceAddress(host), pathPrefix + std::string(tail), reply);
}

void CSession::ApplyParams(const std::string& reply)
{
    if (const auto params = net::ParseParamsReply(reply)) {
        SetPeriods(params->refreshIntervalMs, params->chatPollIntervalMs);
        SetAddress(net::HostKeepingScheme(defaultHost, params->host), params->pathPrefix);
    }
}

bool CSession::FetchParams(std::string_view siteId)
{
    SetAddress(defaultHost, res::LoadString(res::IDS_DEFAULT_PATH_PREFIX));
    std::string reply;
    if (!PerformRequest(net::request::Params(siteId).path, reply)) {
        Q_EMIT parametersFailed();
        return false;
    }
    ApplyParams(reply);
    return true;
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
    if (ok) {
        failureCount = 0;
    } else if (++failureCount > kFailuresBeforeWarning) {
        failureCount = kFailureCountAfterWarning;
        Q_EMIT failureWarning();
    }
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
    SetAddress(defaultHost, res::LoadString(res::IDS_DEFAULT_PATH_PREFIX));

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
                        SetAdmin(*outcome.reply.isAdmin);
                    if (outcome.reply.outcome == "true")
                        SetIdentity(loginId, siteId);
                }
                done(outcome);
            });
        Send(net::request::Login(loginId, siteId, password), target);
    };

    auto* target = new net::CReplyCallback(
        this, [this, current, sendLogin = std::move(sendLogin)](const std::string& text, bool ok) {
            if (!current())
                return;
            if (!ok)
                Q_EMIT parametersFailed();
            else
                ApplyParams(text);
            // A failed fetch has been told; the login goes on with the defaults.
            if (current())
                sendLogin();
        });
    Send(net::request::Params(siteId), target);
}

void CSession::CancelLogIn()
{
    ++loginGeneration;
    loggingIn = false;
}

void CSession::EndAfter(std::vector<ClosingExchange> exchanges, std::chrono::milliseconds wait,
                        std::function<void()> done)
{
    struct Ending {
        std::size_t unanswered = 0;
        std::function<void()> done;
    };
    auto ending = std::make_shared<Ending>(Ending{exchanges.size(), std::move(done)});
    auto finish = [this, ending] {
        if (!ending->done)
            return;
        const std::function<void()> run = std::move(ending->done);
        ending->done = nullptr;
        End();
        run();
    };
    SetState(Connection::Ending);
    QTimer::singleShot(wait, this, finish);
    for (ClosingExchange& exchange : exchanges) {
        exchange([ending, finish] {
            if (ending->unanswered > 0 && --ending->unanswered == 0)
                finish();
        });
    }
    if (exchanges.empty())
        finish();
}

CSession::ClosingExchange CSession::LogOutExchange()
{
    return [this](std::function<void()> answered) {
        auto* target = new net::CReplyCallback(
            this, [answered = std::move(answered)](const std::string&, bool) { answered(); });
        Send(net::request::Logout(identity), target);
    };
}

void CSession::LogOut(std::chrono::milliseconds wait, std::function<void()> done)
{
    EndAfter({LogOutExchange()}, wait, std::move(done));
}

void CSession::End()
{
    SetState(Connection::Ending);
    link.SetShuttingDown();
}

} // namespace kivora::session
