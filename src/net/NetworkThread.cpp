#include "NetworkThread.h"

#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kivora::net {

namespace {

// How long the thread sleeps with nothing to do; new jobs and abandons wake it,
// and libcurl shortens the wait to its own time-outs while transfers run.
constexpr int kIdleWaitMs = 60'000;

// Easy handles kept for reuse; a handle that comes back beyond these is freed.
constexpr std::size_t kKeptHandles = 32;

} // namespace

// What the thread works on. The thread keeps it alive, so that it may outlive
// its owner when the owner goes from one of the thread's own job endings.
struct CNetworkThread::State {
    State()
    {
        multi = curl_multi_init();
        share = curl_share_init();
        // Only this thread uses the share handle, so it needs no locks.
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~State()
    {
        curl_multi_cleanup(multi);
        curl_share_cleanup(share);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void Run();
    void Launch(std::unique_ptr<ICurlJob> job);
    void Drop(CURL* handle);
    // A job ended with the handle: the handle goes back to the kept ones.
    void Release(CURL* handle);

    CURLM* multi = nullptr;
    CURLSH* share = nullptr;

    std::mutex mutex;
    std::vector<std::unique_ptr<ICurlJob>> arriving; // under mutex
    bool ending = false;                             // under mutex
    bool abandonedSome = false;                      // under mutex

    // The thread's own.
    std::unordered_map<CURL*, std::unique_ptr<ICurlJob>> running;
    std::vector<CURL*> kept;
};

void CNetworkThread::State::Launch(std::unique_ptr<ICurlJob> job)
{
    if (job->Abandoned()) {
        job->GiveUp();
        return;
    }
    CURL* handle = nullptr;
    if (kept.empty()) {
        handle = curl_easy_init();
    } else {
        handle = kept.back();
        kept.pop_back();
    }
    if (!job->Begin(handle)) {
        Release(handle);
        return;
    }
    curl_easy_setopt(handle, CURLOPT_SHARE, share);
    if (curl_multi_add_handle(multi, handle) != CURLM_OK) {
        job->GiveUp();
        Release(handle);
        return;
    }
    running.emplace(handle, std::move(job));
}

void CNetworkThread::State::Drop(CURL* handle)
{
    const auto it = running.find(handle);
    curl_multi_remove_handle(multi, handle);
    it->second->GiveUp();
    Release(handle);
    running.erase(it);
}

void CNetworkThread::State::Release(CURL* handle)
{
    if (!handle)
        return;
    if (kept.size() == kKeptHandles) {
        curl_easy_cleanup(handle);
        return;
    }
    // Forgets the ended job's options, which point into it.
    curl_easy_reset(handle);
    kept.push_back(handle);
}

void CNetworkThread::State::Run()
{
    for (;;) {
        std::vector<std::unique_ptr<ICurlJob>> arrived;
        bool end = false;
        bool sweep = false;
        {
            const std::lock_guard lock(mutex);
            arrived.swap(arriving);
            end = ending;
            sweep = std::exchange(abandonedSome, false);
        }
        for (auto& job : arrived)
            Launch(std::move(job));
        if (end || sweep) {
            std::vector<CURL*> dropped;
            for (const auto& [handle, job] : running) {
                if (end || job->Abandoned())
                    dropped.push_back(handle);
            }
            for (CURL* handle : dropped)
                Drop(handle);
        }
        if (end)
            break;

        int active = 0;
        curl_multi_perform(multi, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL* handle = message->easy_handle;
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(multi, handle);
            const auto it = running.find(handle);
            if (it == running.end())
                continue;
            if (!it->second->Continue(code)) {
                Release(handle);
                running.erase(it);
                continue;
            }
            // A redirect to follow, on the same handle.
            if (curl_multi_add_handle(multi, handle) != CURLM_OK) {
                it->second->GiveUp();
                Release(handle);
                running.erase(it);
            }
        }
        curl_multi_poll(multi, nullptr, 0, kIdleWaitMs, nullptr);
    }
    for (CURL* handle : kept)
        curl_easy_cleanup(handle);
    kept.clear();
}

CNetworkThread::CNetworkThread() : state(std::make_shared<State>())
{
    thread = std::thread([state = state] { state->Run(); });
}

CNetworkThread::~CNetworkThread()
{
    {
        const std::lock_guard lock(state->mutex);
        state->ending = true;
    }
    curl_multi_wakeup(state->multi);
    // Ended from one of its own job endings, the thread cannot wait for itself; it
    // ends on its own right after.
    if (std::this_thread::get_id() == thread.get_id())
        thread.detach();
    else
        thread.join();
}

void CNetworkThread::Add(std::unique_ptr<ICurlJob> job)
{
    {
        const std::lock_guard lock(state->mutex);
        if (!state->ending) {
            state->arriving.push_back(std::move(job));
            job = nullptr;
        }
    }
    if (job) {
        job->GiveUp();
        return;
    }
    curl_multi_wakeup(state->multi);
}

void CNetworkThread::CheckAbandoned()
{
    {
        const std::lock_guard lock(state->mutex);
        state->abandonedSome = true;
    }
    curl_multi_wakeup(state->multi);
}

} // namespace kivora::net
