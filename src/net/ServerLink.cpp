#include "ServerLink.h"

#include "RecordText.h"
#include "platform/Threads.h"

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

constexpr auto kDrainTimeout = std::chrono::seconds(5);

// A worker's stack. The C library keeps about 40 MiB of the stacks of ended threads
// for reuse; at 8 MiB (its default) only four fit, so most workers of a busy tick
// would map and fault in a fresh stack and unmap it again. At 1 MiB every worker
// of a tick starts on a stack that is already there. An exchange needs a small
// part of it.
constexpr std::size_t kWorkerStackBytes = std::size_t{1} << 20;

// Workers are many and short-lived, and tens of them run at once on a busy
// tick; two malloc arenas serve them as well as one each would, a few MiB leaner.
constexpr int kWorkerArenas = 2;

// Qt's event queue hands an event from a worker to the GUI thread under locks of
// its own, which the thread sanitizer cannot see (Qt is not built with it). The
// hand-over is told to it here, so that it takes what the worker wrote into the
// event as written before the GUI thread reads it.
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

// A call queued from a worker to the GUI thread. Whatever it holds is dropped on
// the GUI thread, whether the call ran or was discarded with its receiver.
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

} // namespace

// Lives on the GUI thread; replies and warnings from workers are queued to it. It
// also keeps, on the GUI thread only, a weak reference to the window behind each
// request, so that workers carry a number rather than anything of the window's.
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
        static_cast<RunOnGuiEvent*>(e)->Run();
        return true;
    }

private:
    quint64 lastId = 0;
    std::unordered_map<quint64, QPointer<QObject>> targets;
    std::function<void(bool)> outcomeListener;
};

// What the link shares with its workers. Workers keep it alive, so a worker that
// outlives the link still only touches memory of its own.
struct LinkCore : std::enable_shared_from_this<LinkCore> {
    std::shared_ptr<ITransport> transport;
    std::atomic<bool> shuttingDown{false};
    std::atomic<bool> abandon{false};
    std::atomic<int> inFlight{0};

    std::mutex dispatchMutex;
    CReplyDispatcher* dispatcher = nullptr; // null once the link is gone

    std::mutex drainMutex;
    std::condition_variable drained;

    bool Perform(const ServiceAddress& address, std::string path, std::string& reply);
    void RunOnGui(std::function<void()> fn);
    void FinishWorker();
};

bool LinkCore::Perform(const ServiceAddress& address, std::string path, std::string& reply)
{
    TransportRequest request;
    request.scheme = address.scheme;
    request.host = address.host;
    request.port = address.port;
    request.path = std::move(path);
    TransportResult result = transport->Get(request, abandon);
    if (!result.ok) {
        reply = std::move(result.error);
        return false;
    }
    // The text ends at its first zero byte.
    result.body.resize(CutAtZero(result.body).size());
    reply = std::move(result.body);
    return true;
}

void LinkCore::RunOnGui(std::function<void()> fn)
{
    struct Waiter {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    // Marks the wait over when the queued call is gone, whether it ran or was
    // discarded with the dispatcher.
    struct Release {
        explicit Release(std::shared_ptr<Waiter> w) : waiter(std::move(w)) {}
        ~Release()
        {
            {
                const std::lock_guard lock(waiter->mutex);
                waiter->done = true;
            }
            waiter->cv.notify_all();
        }
        std::shared_ptr<Waiter> waiter;
    };

    auto waiter = std::make_shared<Waiter>();
    {
        std::unique_lock lock(dispatchMutex);
        if (!dispatcher)
            return;
        if (QThread::currentThread() == dispatcher->thread()) {
            // The dispatcher is only destroyed on this thread, after this call.
            lock.unlock();
            fn();
            return;
        }
        auto* event = new RunOnGuiEvent(std::move(fn), std::make_shared<Release>(waiter));
        MarkHandedOver(event);
        QCoreApplication::postEvent(dispatcher, event);
    }
    std::unique_lock lock(waiter->mutex);
    while (!waiter->done && !abandon.load())
        waiter->cv.wait_for(lock, std::chrono::milliseconds(50));
}

void LinkCore::FinishWorker()
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
    : core(std::make_shared<LinkCore>()), dispatcher(std::make_unique<CReplyDispatcher>())
{
    platform::LimitMallocArenas(kWorkerArenas);
    core->transport = std::move(transport);
    core->dispatcher = dispatcher.get();
}

CServerLink::~CServerLink()
{
    core->shuttingDown.store(true);
    core->abandon.store(true);
    {
        const std::lock_guard lock(core->dispatchMutex);
        core->dispatcher = nullptr;
    }
    // Discards the queued replies, which releases the workers waiting on them.
    dispatcher.reset();
    std::unique_lock lock(core->drainMutex);
    core->drained.wait_for(lock, kDrainTimeout, [this] { return core->inFlight.load() == 0; });
}

bool CServerLink::PerformRequest(const ServiceAddress& address, std::string_view path, std::string& reply)
{
    reply.clear();
    const bool ok = core->Perform(address, std::string(path), reply);
    if (QThread::currentThread() == dispatcher->thread() && !core->shuttingDown.load())
        dispatcher->ReportOutcome(ok);
    return ok;
}

void CServerLink::StartRequest(const ServiceAddress& address, std::string path, int kind, QObject* target)
{
    struct Job {
        ServiceAddress address;
        std::string path;
        int kind;
        quint64 targetId;
    };
    const quint64 targetId = target && IsDeliveredKind(kind) ? dispatcher->Register(target) : 0;
    Job job{address, std::move(path), kind, targetId};

    core->inFlight.fetch_add(1);
    auto worker = [core = core, job = std::move(job)]() mutable {
        std::string reply;
        const bool ok = core->Perform(job.address, std::move(job.path), reply);
        if (!core->shuttingDown.load()) {
            core->RunOnGui([core, targetId = job.targetId, kind = job.kind, ok, reply = std::move(reply)] {
                // Runs on the GUI thread only while the dispatcher exists. The window
                // may have gone, or the console may have started to end, while the
                // reply was on its way.
                QObject* target = targetId != 0 ? core->dispatcher->Take(targetId) : nullptr;
                if (core->shuttingDown.load())
                    return;
                core->dispatcher->ReportOutcome(ok);
                if (auto* receiver = dynamic_cast<IReplyTarget*>(target))
                    receiver->OnServerOutcome(kind, reply, ok);
            });
        }
        core->FinishWorker();
    };
    if (!platform::StartDetachedThread(std::move(worker), kWorkerStackBytes)) {
        // No thread to be had: the request is lost like a failed exchange.
        dispatcher->Take(targetId);
        core->FinishWorker();
        dispatcher->ReportOutcome(false);
    }
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
