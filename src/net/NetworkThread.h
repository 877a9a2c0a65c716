#pragma once

#include <curl/curl.h>

#include <memory>
#include <thread>

namespace kivora::net {

// One transfer that the network thread drives, possibly over several requests
// (redirects). Every call comes from the network thread, except GiveUp when the
// thread has already ended.
class ICurlJob {
public:
    virtual ~ICurlJob() = default;
    // Sets handle (fresh, or reset to its defaults) up for the first request; it is
    // null when none could be had. False when the job cannot run: it has then ended.
    virtual bool Begin(CURL* handle) = 0;
    // The handle's request ended with code. True when the job has set the handle up
    // for one more request; otherwise the job has ended.
    virtual bool Continue(CURLcode code) = 0;
    // Whether whoever started the job has given it up.
    virtual bool Abandoned() const = 0;
    // Ends the job without waiting for its transfer.
    virtual void GiveUp() = 0;
};

// The thread that runs every transfer of a transport through one libcurl multi
// handle. The transfers share one DNS cache and one TLS session cache, and nothing
// else: each has a connection of its own. Easy handles are kept for later jobs
// once theirs has ended. A job ends on this thread, which never waits for anyone
// but the network.
class CNetworkThread final {
public:
    CNetworkThread();
    // Gives up every job not yet ended and waits for the thread.
    ~CNetworkThread();
    CNetworkThread(const CNetworkThread&) = delete;
    CNetworkThread& operator=(const CNetworkThread&) = delete;

    // From any thread.
    void Add(std::unique_ptr<ICurlJob> job);
    // Some jobs have been abandoned: they are given up now rather than when their
    // transfers end.
    void CheckAbandoned();

private:
    struct State;
    std::shared_ptr<State> state;
    std::thread thread;
};

} // namespace kivora::net
