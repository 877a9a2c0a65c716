#pragma once

// Pieces the benchmark programs share: a silent platform layer, the demo service
// as a child process with a kept-alive client for its control API, and readings
// of this process's memory, threads and CPU time.

#include "platform/Browser.h"
#include "platform/LoginStore.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Sounds.h"
#include "platform/Tray.h"

#include "ServiceProcess.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Client;
}

namespace kivora::bench {

// A platform layer that shows, plays and stores nothing.
class CNullMessageBoxes final : public platform::IMessageBoxes {
public:
    void Show(QWidget*, const QString&, const QString&, platform::BoxIcon) override { ++shown; }
    bool Ask(QWidget*, const QString&, const QString&) override { return true; }
    int shown = 0;
};
class CNullBrowser final : public platform::IBrowser {
public:
    bool OpenUrl(const QString&) override { return true; }
    bool OpenServicePage(const QString&) override { return true; }
};
class CNullSounds final : public platform::ISounds {
public:
    void Play(int, bool) override {}
};
class CNullTray final : public platform::ITray {
public:
    void Add(const QIcon&, const QString&) override {}
    void Remove() override {}
    bool IsShown() const override { return false; }
    void SetActions(platform::TrayActions) override {}
};
class CNullStore final : public platform::ILoginStore {
public:
    std::optional<std::string> Read(std::size_t) override { return std::nullopt; }
    bool Write(std::string_view) override { return true; }
    bool Remove() override { return true; }
};

struct NullPlatform {
    CNullMessageBoxes boxes;
    CNullBrowser browser;
    CNullSounds sounds;
    CNullStore store;
    CNullTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
};

// kivora-demo-service on a free loopback port for as long as the object lives.
class CBenchService final {
public:
    // Throws std::runtime_error when the service does not start within 10 s.
    explicit CBenchService(const std::vector<std::string>& extraArgs = {});
    ~CBenchService();
    CBenchService(const CBenchService&) = delete;
    CBenchService& operator=(const CBenchService&) = delete;

    int Port() const { return process.Port(); }
    std::string HostPort() const { return process.HostPort(); }

    // GET on one kept-alive connection; the body of a 200 reply, else nothing.
    std::optional<std::string> Get(const std::string& pathAndQuery);
    // /_sim/visitor/add with the query as given; the new session id, or "" when refused.
    std::string AddVisitor(const std::string& query);
    // Every byte but letters and digits as %XX.
    static std::string Escape(std::string_view text) { return demo::EscapeForService(text); }

private:
    demo::CServiceProcess process;
    std::unique_ptr<httplib::Client> client;
};

// This process now, from /proc/self/status and getrusage.
struct ProcessReading {
    double rssMiB = 0;  // VmRSS
    double peakMiB = 0; // VmHWM
    int threads = 0;
    double cpuSeconds = 0; // user + system, all threads
};
ProcessReading ReadProcess();

// The median (and other quantiles) of the values, which are sorted in place.
double Quantile(std::vector<double>& values, double q);

// The value of "--name=N" among the arguments, which is taken out of them so that
// the benchmark library does not refuse it; fallback when it is not there.
long long TakeSizeOption(int& argc, char** argv, std::string_view name, long long fallback);

} // namespace kivora::bench
