#include "ServerLink.h"

#include "RecordText.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace kivora::net {

namespace {

// The longest the link waits, as it ends, for the transport to give up its
// exchanges.
constexpr auto kDrainTimeout = std::chrono::seconds(5);

// Qt's event queue hands an event from the network thread to the GUI thread under
// locks of its own, which the thread sanitizer cannot see (Qt is not built with
// it). The hand-over is told to it here: what the network thread wrote into the
// event counts as written before the GUI thread reads it, and the queue itself is
// taken as guarded by a lock that posting and handling an event hold.
void MarkHandedOver([[maybe_unused]] const void* what)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(what));
#endif
}

void MarkTakenOver([[maybe_unused]] const void* what)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(what));
#endif
}

// Stands for the GUI thread's event queue in those marks.
const char eventQueue = 0;

// A call queued to the GUI thread. Whatever it holds is dropped on the GUI thread,
// whether the call ran or was discarded with its receiver.
class RunOnGuiEvent final : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    RunOnGuiEvent(std::function<void()> fn, std::shared_ptr<void> keep)
        : QEvent(Kind()), fn(std::move(fn)), keep(std::move(keep))
    {
    }
    ~RunOnGuiEvent() override { MarkTakenOver(this); }
    void Run() { fn(); }

private:
    std::function<void()> fn;
    std::shared_ptr<void> keep;
};

TransportRequest MakeRequest(const ServiceAddress& address, std::string path)
{
    TransportRequest request;
    request.scheme = address.scheme;
    request.host = address.host;
    request.port = address.port;
    request.path = std::move(path);
    return request;
}

// The reply text of an exchange: the body up to its first zero byte, or the error.
bool TakeReply(TransportResult result, std::string& reply)
{
    if (!result.ok) {
        reply = std::move(result.error);
        return false;
    }
    result.body.resize(CutAtZero(result.body).size());
    reply = std::move(result.body);
    return true;
}

} // namespace

// Lives on the GUI thread; replies from the network are queued to it. It also
// keeps, on the GUI thread only, a weak reference to the window behind each
// request, so that the network side carries a number rather than anything of the
// window's.
class CReplyDispatcher final : public QObject {
public:
    quint64 Register(QObject* target)
    {
        const quint64 id = ++lastId;
        targets.emplace(id, QPointer<QObject>(target));
        return id;
    }
    void SetOutcomeListener(std::function<void(bool)> listener) { outcomeListener = std::move(listener); }
    void ReportOutcome(bool ok)
    {
        if (outcomeListener)
            outcomeListener(ok);
    }

    // The window of a request, or null when it has gone; forgets the request.
    QObject* Take(quint64 id)
    {
        const auto it = targets.find(id);
        if (it == targets.end())
            return nullptr;
        QObject* target = it->second.data();
        targets.erase(it);
        return target;
    }

protected:
    bool event(QEvent* e) override
    {
        // Queued calls are the events this object gets from other threads.
        MarkTakenOver(e);
        if (e->type() != RunOnGuiEvent::Kind())
            return QObject::event(e);
        MarkTakenOver(&eventQueue);
        static_cast<RunOnGuiEvent*>(e)->Run();
        // Whatever the handler queued comes before the network thread's next post.
        MarkHandedOver(&eventQueue);
        return true;
    }

private:
    quint64 lastId = 0;
    std::unordered_map<quint64, QPointer<QObject>> targets;
    std::function<void(bool)> outcomeListener;
};

// What the link shares with the completions of its exchanges, which keep it alive:
// a completion that comes after the link has gone still only touches memory of
// its own.
struct LinkCore : std::enable_shared_from_this<LinkCore> {
    AbandonFlag abandon = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> shuttingDown{false};
    std::atomic<int> inFlight{0};

    std::mutex dispatchMutex;
    CReplyDispatcher* dispatcher = nullptr; // null once the link is gone

    std::mutex drainMutex;
    std::condition_variable drained;

    // From the transport's thread: queues the reply to the GUI thread and returns.
    void Deliver(quint64 targetId, int kind, TransportResult result);
    // On the GUI thread.
    void Hand(quint64 targetId, int kind, bool ok, const std::string& reply);
    void Finish();
};

namespace {

// Counts an asynchronous exchange out when its reply is handled or dropped.
struct InFlightToken {
    explicit InFlightToken(std::shared_ptr<LinkCore> core) : core(std::move(core)) {}
    ~InFlightToken() { core->Finish(); }
    InFlightToken(const InFlightToken&) = delete;
    InFlightToken& operator=(const InFlightToken&) = delete;
    std::shared_ptr<LinkCore> core;
};

} // namespace

void LinkCore::Deliver(quint64 targetId, int kind, TransportResult result)
{
    auto token = std::make_shared<InFlightToken>(shared_from_this());
    std::string reply;
    const bool ok = TakeReply(std::move(result), reply);
    const std::lock_guard lock(dispatchMutex);
    if (!dispatcher)
        return;
    auto* event = new RunOnGuiEvent(
        [core = shared_from_this(), targetId, kind, ok, reply = std::move(reply)] {
            core->Hand(targetId, kind, ok, reply);
        },
        std::move(token));
    MarkHandedOver(event);
    MarkTakenOver(&eventQueue);
    QCoreApplication::postEvent(dispatcher, event);
    MarkHandedOver(&eventQueue);
}

void LinkCore::Hand(quint64 targetId, int kind, bool ok, const std::string& reply)
{
    // Runs only while the dispatcher exists. The window may have gone, or the
    // console may have started to end, while the reply was on its way.
    QObject* target = targetId != 0 ? dispatcher->Take(targetId) : nullptr;
    if (shuttingDown.load())
        return;
    dispatcher->ReportOutcome(ok);
    if (auto* receiver = dynamic_cast<IReplyTarget*>(target))
        receiver->OnServerOutcome(kind, reply, ok);
}

void LinkCore::Finish()
{
    {
        const std::lock_guard lock(drainMutex);
        inFlight.fetch_sub(1);
    }
    drained.notify_all();
}

bool IsDeliveredKind(int kind)
{
    if (kind < kKindNone || kind > kKindNameMail)
        return false;
    return kind != kKindVisitorDetails && kind != kKindProactive && kind != kKindVisitorAction &&
           kind != kKindOperatorTyping;
}

int TimerPeriodMs(int fromServiceMs, int fallbackMs)
{
    constexpr int kShortestMs = 250;
    return fromServiceMs > 0 ? std::max(fromServiceMs, kShortestMs) : fallbackMs;
}

CServerLink::CServerLink(std::shared_ptr<ITransport> transport)
    : transport(std::move(transport)), core(std::make_shared<LinkCore>()),
      dispatcher(std::make_unique<CReplyDispatcher>())
{
    core->dispatcher = dispatcher.get();
}

CServerLink::~CServerLink()
{
    core->shuttingDown.store(true);
    {
        const std::lock_guard lock(core->dispatchMutex);
        core->dispatcher = nullptr;
    }
    // Drops the replies queued for the GUI thread.
    dispatcher.reset();
    transport->Abandon(core->abandon);
    std::unique_lock lock(core->drainMutex);
    core->drained.wait_for(lock, kDrainTimeout, [this] { return core->inFlight.load() == 0; });
}

bool CServerLink::PerformRequest(const ServiceAddress& address, std::string_view path, std::string& reply)
{
    const bool ok = TakeReply(transport->Get(MakeRequest(address, std::string(path)), core->abandon), reply);
    if (QThread::currentThread() == dispatcher->thread() && !core->shuttingDown.load())
        dispatcher->ReportOutcome(ok);
    return ok;
}

void CServerLink::StartRequest(const ServiceAddress& address, std::string path, int kind, QObject* target)
{
    const quint64 targetId = target && IsDeliveredKind(kind) ? dispatcher->Register(target) : 0;
    core->inFlight.fetch_add(1);
    transport->Start(MakeRequest(address, std::move(path)), core->abandon,
                     [core = core, targetId, kind](TransportResult result) {
                         core->Deliver(targetId, kind, std::move(result));
                     });
}

void CServerLink::SetOutcomeListener(std::function<void(bool ok)> listener)
{
    dispatcher->SetOutcomeListener(std::move(listener));
}

bool CServerLink::ShuttingDown() const
{
    return core->shuttingDown.load();
}

void CServerLink::SetShuttingDown()
{
    core->shuttingDown.store(true);
}

int CServerLink::InFlight() const
{
    return core->inFlight.load();
}

} // namespace kivora::net
