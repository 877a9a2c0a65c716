#pragma once

// The service's notion of time: the machine's steady clock plus an offset that the
// control API (and a sped-up autopilot) can push forward, so that times on site,
// expiring invitations and the visitors' wall-clock time can be tested without waiting.

#include <chrono>

namespace kivora::demo {

using SimTime = std::chrono::steady_clock::time_point;

class CSimClock final {
public:
    SimTime Now() const { return std::chrono::steady_clock::now() + offset_; }

    // Wall-clock time moved by the same offset, for the visitors' local time of day.
    std::chrono::system_clock::time_point WallNow() const
    {
        return std::chrono::system_clock::now() +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(offset_);
    }

    // Only forward: times already handed out must never appear to run backwards.
    void Advance(std::chrono::steady_clock::duration by)
    {
        if (by.count() > 0)
            offset_ += by;
    }

    std::chrono::steady_clock::duration Offset() const { return offset_; }

private:
    std::chrono::steady_clock::duration offset_{};
};

} // namespace kivora::demo
