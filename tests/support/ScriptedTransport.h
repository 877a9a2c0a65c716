#pragma once

#include "net/Transport.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kivora::test {

// A transport that answers from a script instead of the network and records what
// it was asked. It answers on the starting thread before Start returns, unless
// replies are held: held exchanges wait, like those of a hung server, until they
// are released (and then take their answers) or abandoned. Thread-safe.
class ScriptedTransport final : public net::ITransport {
public:
    void Start(net::TransportRequest request, net::AbandonFlag abandon, net::TransportCompletion completion) override
    {
        std::unique_lock lock(mutex);
        requests.push_back(request);
        if (holdReplies && !(abandon && abandon->load())) {
            held.push_back({std::move(request), std::move(abandon), std::move(completion)});
            return;
        }
        net::TransportResult result = Answer(request);
        lock.unlock();
        completion(std::move(result));
    }

    void Abandon(const net::AbandonFlag& flag) override
    {
        if (!flag)
            return;
        flag->store(true);
        std::vector<Held> given;
        {
            const std::lock_guard lock(mutex);
            for (auto it = held.begin(); it != held.end();) {
                if (it->abandon == flag) {
                    given.push_back(std::move(*it));
                    it = held.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (Held& exchange : given)
            exchange.completion({false, {}, "aborted"});
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
    // Released exchanges are answered in the order they were started.
    void Hold(bool hold)
    {
        std::vector<std::pair<Held, net::TransportResult>> released;
        {
            const std::lock_guard lock(mutex);
            holdReplies = hold;
            if (hold)
                return;
            for (Held& exchange : held) {
                net::TransportResult result = Answer(exchange.request);
                released.emplace_back(std::move(exchange), std::move(result));
            }
            held.clear();
        }
        for (auto& [exchange, result] : released)
            exchange.completion(std::move(result));
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
    struct Held {
        net::TransportRequest request;
        net::AbandonFlag abandon;
        net::TransportCompletion completion;
    };

    net::TransportResult Answer(const net::TransportRequest& request)
    {
        if (responder)
            return responder(request);
        if (script.empty())
            return {true, {}, {}};
        net::TransportResult next = script.front();
        script.pop_front();
        return next;
    }

    std::mutex mutex;
    std::deque<net::TransportResult> script;
    std::vector<net::TransportRequest> requests;
    std::vector<Held> held;
    bool holdReplies = false;
};

} // namespace kivora::test
