#pragma once

#include "net/Transport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kivora::test {

// A transport that answers from a script instead of the network and records what
// it was asked. Thread-safe: workers call it concurrently.
class ScriptedTransport final : public net::ITransport {
public:
    net::TransportResult Get(const net::TransportRequest& request, const std::atomic<bool>& abandon) override
    {
        std::unique_lock lock(mutex);
        requests.push_back(request);
        changed.notify_all();
        // Held exchanges wait until released or abandoned, like a slow server.
        while (holdReplies && !abandon.load())
            changed.wait_for(lock, std::chrono::milliseconds(10));
        if (abandon.load() && holdReplies)
            return {false, {}, "aborted"};
        if (responder)
            return responder(request);
        if (script.empty())
            return {true, {}, {}};
        net::TransportResult next = script.front();
        script.pop_front();
        return next;
    }

    void Reply(std::string body)
    {
        const std::lock_guard lock(mutex);
        script.push_back({true, std::move(body), {}});
    }
    void Fail(std::string error = "Could not connect to server")
    {
        const std::lock_guard lock(mutex);
        script.push_back({false, {}, std::move(error)});
    }
    void Hold(bool hold)
    {
        const std::lock_guard lock(mutex);
        holdReplies = hold;
        changed.notify_all();
    }
    std::vector<net::TransportRequest> Requests()
    {
        const std::lock_guard lock(mutex);
        return requests;
    }
    std::size_t RequestCount()
    {
        const std::lock_guard lock(mutex);
        return requests.size();
    }

    std::function<net::TransportResult(const net::TransportRequest&)> responder;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<net::TransportResult> script;
    std::vector<net::TransportRequest> requests;
    bool holdReplies = false;
};

} // namespace kivora::test
