// The console as an operator runs it, offscreen, against kivora-demo-service as a
// child process: the real console, chat windows, server link and curl transport.
//
//   kivora_bench_session memory
//     Resident memory right after login (the reference), then with 10,000
//     visitors listed and 20 chat windows each holding a full transcript (lines
//     said by the visitors, fetched by the windows' own polls). Peak is VmHWM.
//
//   kivora_bench_session idle [--seconds N]
//     20 chat windows polling every second and the list refreshed every 2 s, for
//     N seconds (60 by default): the CPU time of the whole process (every thread
//     but the bench's own watching thread) over the wall time, and whether the
//     number of threads stays at its base line whatever the requests.
//
//   kivora_bench_session many [--seconds N]
//     The same with 500 real chat windows: the CPU share, the threads, and the
//     worst lateness of a window's poll beyond its period.
//
// Each mode prints RESULT lines for scripts/bench; run each in a process of its
// own, since the peak resident memory only ever grows.
#include "BenchSummary.h"
#include "session/Session.h"
#include "BenchSupport.h"
#include "chat/ChatDlg.h"
#include "chat/Transcript.h"
#include "console/ConsoleDlg.h"
#include "net/CurlTransport.h"
#include "net/ServerLink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <time.h>

namespace {

using namespace kivora;

constexpr int kChats = 20;
constexpr int kListedVisitors = 10'000;
// A transcript is full just below the size at which it drops its oldest part.
constexpr int kFullTranscriptChars = chat::CTranscriptView::kTrimThreshold - 2'000;

// Runs the event loop until done() or the time is up; false when it is up.
bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for a while, as the program would while idle.
void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void Require(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

// The real transport, keeping how long each exchange took and when each chat
// poll went out.
class CTimedCurlTransport final : public net::ITransport {
public:
    struct Poll {
        double atMs;
        std::string chat;
    };

    void Start(net::TransportRequest request, net::AbandonFlag abandon, net::TransportCompletion completion) override
    {
        if (request.path.find("/w-achats.php?") != std::string::npos)
            NotePoll(request.path);
        QElapsedTimer timer;
        timer.start();
        inner.Start(std::move(request), std::move(abandon),
                    [this, timer, completion = std::move(completion)](net::TransportResult result) {
                        Note(static_cast<double>(timer.nsecsElapsed()) / 1e6);
                        completion(std::move(result));
                    });
    }
    void Abandon(const net::AbandonFlag& flag) override { inner.Abandon(flag); }
    void Record(bool on)
    {
        const std::lock_guard lock(mutex);
        recording = on;
    }
    std::vector<double> Durations()
    {
        const std::lock_guard lock(mutex);
        return durations;
    }
    std::vector<Poll> Polls()
    {
        const std::lock_guard lock(mutex);
        return polls;
    }

private:
    void Note(double ms)
    {
        const std::lock_guard lock(mutex);
        if (recording)
            durations.push_back(ms);
    }
    void NotePoll(const std::string& path)
    {
        const std::size_t at = path.find("csesid=");
        const std::size_t end = at == std::string::npos ? at : path.find('&', at);
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const std::lock_guard lock(mutex);
        if (recording && at != std::string::npos)
            polls.push_back({ms, path.substr(at + 7, end == std::string::npos ? end : end - at - 7)});
    }

    net::CCurlTransport inner;
    QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    std::mutex mutex;
    bool recording = false;
    std::vector<double> durations;
    std::vector<Poll> polls;
};

// One operator logged in to a fresh demo service, console shown.
struct Session {
    explicit Session(const std::vector<std::string>& serviceArgs) : service(serviceArgs)
    {
        session.SetDefaultHost(service.HostPort());
        Require(session.FetchParams("site1"), "no parameters reply");
        session.SetIdentity("admin", "site1");
        console = std::make_unique<console::CConsoleDlg>(session, fakes.platform);
        console->SetLoginInfo("site1", "admin", "http://www.site1.example/");
        console->OnInitDialog();
        console->show();
        Require(WaitFor([this] { return console->IsOnline(); }, 10'000), "the console did not go on line");
    }
    ~Session()
    {
        console->OnDestroy();
        console.reset();
    }

    // Visitors who ask for a chat, accepted one by one as the operator would;
    // returns their session ids once every chat window is open.
    std::vector<std::string> OpenChats(int count)
    {
        std::vector<std::string> sessions;
        for (int i = 0; i < count; ++i) {
            sessions.push_back(service.AddVisitor("ip=203.0.113." + std::to_string(i + 1) +
                                                  "&page=/help/contact.html&status=Chat%20Request&name=Guest" +
                                                  std::to_string(i + 1)));
            Require(!sessions.back().empty(), "visitor not added");
        }
        // Chats are accepted one after another across a second, as an operator
        // would: windows opened in the same instant would poll in the same instant
        // for good.
        for (int i = 0; i < count; ++i) {
            console->AcceptChatSession(sessions[static_cast<std::size_t>(i)], "203.0.113." + std::to_string(i + 1));
            RunFor(1'000 / count);
        }
        Require(WaitFor([&] { return console->ChatWindowCount() == count; }, 30'000), "chat windows did not open");
        return sessions;
    }

    std::vector<chat::CChatDlg*> ChatWindows() const
    {
        std::vector<chat::CChatDlg*> windows;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* chat = qobject_cast<chat::CChatDlg*>(widget))
                windows.push_back(chat);
        }
        return windows;
    }

    bench::CBenchService service;
    bench::NullPlatform fakes;
    std::shared_ptr<CTimedCurlTransport> transport = std::make_shared<CTimedCurlTransport>();
    net::CServerLink link{transport};
    session::CSession session{link};
    std::unique_ptr<console::CConsoleDlg> console;
};

int RunMemory()
{
    // The list is refreshed by hand here, so that it is read whole once.
    Session session({"--refresh-seconds", "3600", "--chat-poll-seconds", "1"});
    RunFor(1'000);
    const bench::ProcessReading afterLogin = bench::ReadProcess();

    const std::vector<std::string> chats = session.OpenChats(kChats);
    const bench::ProcessReading chatsOpen = bench::ReadProcess();
    for (int i = static_cast<int>(chats.size()); i < kListedVisitors; ++i) {
        const std::string added = session.service.AddVisitor(
            "ip=198.51." + std::to_string(i / 250 % 250) + "." + std::to_string(i % 250 + 1) +
            "&page=/catalogue/item-" + std::to_string(i) + ".html&seconds=" + std::to_string(60 + i % 3000) +
            "&visits=" + std::to_string(i % 7));
        Require(!added.empty(), "visitor not added");
    }
    session.console->RequestVisitorList();
    Require(WaitFor([&] { return session.console->Model().Count() == kListedVisitors; }, 60'000),
            "the list did not show every visitor");
    const bench::ProcessReading listed = bench::ReadProcess();

    // Each visitor says lines of about a hundred characters until the chat window
    // holds a full transcript.
    const std::string text =
        "I would like to know whether the order I placed on Monday can still be changed, thank you";
    int lines = 0;
    for (int said = 0; said < kFullTranscriptChars; said += static_cast<int>(text.size()) + 20)
        ++lines;
    for (const std::string& id : chats) {
        for (int n = 0; n < lines; ++n) {
            Require(session.service.Get("/_sim/chat/say?csesid=" + id + "&text=" +
                                        bench::CBenchService::Escape(text + " #" + std::to_string(n)))
                        .has_value(),
                    "line not said");
        }
    }
    const auto windows = session.ChatWindows();
    Require(static_cast<int>(windows.size()) == kChats, "chat windows missing");
    // A window has every line once it polls from one past the chat's last line.
    const auto linesInChat = [&session](const std::string& id) {
        const std::string dump = session.service.Get("/_sim/chat/lines?csesid=" + id).value_or("");
        return static_cast<int>(std::count(dump.begin(), dump.end(), '\n'));
    };
    Require(WaitFor(
                [&] {
                    return std::all_of(windows.begin(), windows.end(), [&](chat::CChatDlg* chat) {
                        return chat->LastMessageNumber() == std::to_string(linesInChat(chat->SessionId()) + 1);
                    });
                },
                120'000),
            "the transcripts did not fill");
    RunFor(1'000);
    const bench::ProcessReading loaded = bench::ReadProcess();

    // Every window shows each line of its chat once: a transcript that holds fewer
    // or more paragraphs than its chat has lines lost some or showed some twice.
    int smallest = chat::CTranscriptView::kTrimThreshold;
    int largest = 0;
    int wrong = 0;
    for (chat::CChatDlg* chat : windows) {
        const int characters = chat->Transcript()->CharacterCount();
        smallest = std::min(smallest, characters);
        largest = std::max(largest, characters);
        // The document ends with an empty paragraph after the last line.
        if (chat->Transcript()->document()->blockCount() - 1 != linesInChat(chat->SessionId()))
            ++wrong;
    }
    std::printf("transcripts: %d to %d characters; %d of %d do not hold their chat's lines once each\n", smallest,
                largest, wrong, static_cast<int>(windows.size()));
    // Each shown top-level window has a backing store of its size, 32 bits a pixel.
    double backingStores = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            backingStores += widget->width() * widget->height() * widget->devicePixelRatioF() *
                             widget->devicePixelRatioF() * 4.0 / (1 << 20);
    }
    std::printf("shown top-level windows hold about %.1f MiB of backing store\n", backingStores);
    std::printf("resident: after login %.1f MiB, chat windows open %.1f MiB, 10,000 rows listed %.1f MiB\n",
                afterLogin.rssMiB, chatsOpen.rssMiB, listed.rssMiB);
    std::printf("after login: %.1f MiB resident; loaded: %.1f MiB resident, peak %.1f MiB; %d rows listed, "
                "%d chat windows, smallest transcript %d characters (%d lines)\n",
                afterLogin.rssMiB, loaded.rssMiB, loaded.peakMiB, session.console->Model().Count(),
                static_cast<int>(windows.size()), smallest, lines);
    bench::PrintResult({"5", "memory: 10,000 visitors, 20 full chat transcripts (peak)",
                        bench::Format("%.1f MiB", loaded.peakMiB), "-", "-", "<= 72 MiB", loaded.peakMiB <= 72});
    const double above = loaded.peakMiB - afterLogin.rssMiB;
    bench::PrintResult({"5", "memory: peak above the process right after login", bench::Format("%.1f MiB", above),
                        bench::Format("after login %.1f MiB", afterLogin.rssMiB), "-", "<= 30 MiB", above <= 30});
    return 0;
}

// The threads of this process but Qt's pooled workers, which Qt starts for work
// of its own (image scaling, for one) and ends when they have been idle a while.
int OwnThreads()
{
    int count = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != "Thread (pooled)")
            ++count;
    }
    return count;
}

// Watches the process from a thread of its own, so that reading /proc does not
// run on the GUI thread between the console's events; that thread's own CPU time
// is taken out of the process's. It counts the threads every 50 ms.
class CProcessWatch final {
public:
    CProcessWatch()
        : sampler([this] {
              while (!stop.load()) {
                  const int threads = OwnThreads();
                  {
                      const std::lock_guard lock(mutex);
                      fewest = std::min(fewest, threads);
                      most = std::max(most, threads);
                  }
                  timespec cpu{};
                  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
                  samplerCpu.store(static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9);
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~CProcessWatch()
    {
        stop.store(true);
        sampler.join();
    }

    // Starts the measured run: the thread count now is its base line.
    void Begin()
    {
        base = OwnThreads();
        {
            const std::lock_guard lock(mutex);
            fewest = most = base;
        }
        wallStart = std::chrono::steady_clock::now();
        start = bench::ReadProcess();
        samplerStart = samplerCpu.load();
    }
    // Ends it: the process's CPU time (the watching thread's taken out) over the
    // wall time, as a share of one core in percent.
    void End()
    {
        const bench::ProcessReading end = bench::ReadProcess();
        samplerUsed = samplerCpu.load() - samplerStart;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        cpuUsed = end.cpuSeconds - start.cpuSeconds - samplerUsed;
        const int threads = OwnThreads();
        const std::lock_guard lock(mutex);
        fewest = std::min(fewest, threads);
        most = std::max(most, threads);
    }
    double CpuPercent() const { return cpuUsed / elapsed * 100; }
    bool ThreadsConstant() const { return fewest == base && most == base; }

    int base = 0;
    int fewest = 0;
    int most = 0;
    double elapsed = 0;
    double cpuUsed = 0;
    double samplerUsed = 0;

private:
    std::mutex mutex;
    std::atomic<bool> stop{false};
    std::atomic<double> samplerCpu{0};
    std::chrono::steady_clock::time_point wallStart;
    bench::ProcessReading start;
    double samplerStart = 0;
    std::thread sampler;
};

int CountRequests(Session& session)
{
    const std::string log = session.service.Get("/_sim/requests").value_or("");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

void PrintExchanges(std::vector<double> exchanges)
{
    const double longest = exchanges.empty() ? 0 : *std::max_element(exchanges.begin(), exchanges.end());
    // An exchange of about a second is a connection the service's listen queue
    // dropped and the client's TCP retried (see TcpExtListenOverflows in nstat).
    std::printf("  exchanges: median %.2f ms, p90 %.2f ms, p99 %.2f ms, longest %.1f ms\n",
                bench::Quantile(exchanges, 0.5), bench::Quantile(exchanges, 0.9), bench::Quantile(exchanges, 0.99),
                longest);
}

bench::Result ThreadsResult(const char* number, const CProcessWatch& watch, int requests)
{
    return {number, "threads over the run (Qt's pooled workers aside), whatever the requests",
            watch.ThreadsConstant() ? bench::Format("constant at %d", watch.base)
                                    : bench::Format("%d to %d", watch.fewest, watch.most),
            bench::Format("base %d (the network thread among them), %d requests", watch.base, requests), "-",
            "constant", watch.ThreadsConstant()};
}

// Lets the session settle for three seconds, then watches the process for
// `seconds` while the exchanges are timed; returns the requests made meanwhile.
int WatchSteadyRun(Session& session, CProcessWatch& watch, int seconds)
{
    RunFor(3'000);
    const int requestsBefore = CountRequests(session);
    watch.Begin();
    session.transport->Record(true);
    RunFor(seconds * 1000);
    watch.End();
    session.transport->Record(false);
    return CountRequests(session) - requestsBefore;
}

int RunIdle(int seconds)
{
    Session session({"--refresh-seconds", "2", "--chat-poll-seconds", "1"});
    for (int i = 0; i < 80; ++i)
        session.service.AddVisitor("ip=198.51.100." + std::to_string(i + 1) + "&page=/index.html");
    session.OpenChats(kChats);
    Require(session.console->RefreshPeriodMs() == 2'000, "the list is not refreshed every 2 s");

    CProcessWatch watch;
    const int requests = WatchSteadyRun(session, watch, seconds);

    std::printf("idle %.1f s: %d requests (%.1f a second), CPU %.2f s (the watching thread's %.3f s taken out), "
                "threads %d to %d, base %d\n",
                watch.elapsed, requests, requests / watch.elapsed, watch.cpuUsed, watch.samplerUsed, watch.fewest,
                watch.most, watch.base);
    PrintExchanges(session.transport->Durations());
    bench::PrintResult({"6", "idle: 20 chats polling 1 s, list every 2 s (CPU of one core)",
                        bench::Format("%.2f%%", watch.CpuPercent()),
                        bench::Format("%.0f requests/s", requests / watch.elapsed), "-", "<= 1%",
                        watch.CpuPercent() <= 1});
    bench::PrintResult(ThreadsResult("6", watch, requests));
    return 0;
}

// Each chat window's poll lateness: how much later than one period after its last
// poll each poll went out. A window skips a tick while its last poll is still
// unanswered, which makes that poll a period late.
double WorstPollLatenessMs(const std::vector<CTimedCurlTransport::Poll>& polls, double periodMs, int& counted)
{
    std::unordered_map<std::string, double> last;
    double worst = 0;
    counted = 0;
    for (const auto& poll : polls) {
        const auto [it, first] = last.try_emplace(poll.chat, poll.atMs);
        if (!first) {
            worst = std::max(worst, poll.atMs - it->second - periodMs);
            it->second = poll.atMs;
            ++counted;
        }
    }
    return worst;
}

int RunMany(int seconds)
{
    constexpr int kManyChats = 500;
    constexpr double kPeriodMs = 1000;
    Session session({"--refresh-seconds", "2", "--chat-poll-seconds", "1"});
    session.OpenChats(kManyChats);
    Require(static_cast<int>(session.ChatWindows().size()) == kManyChats, "chat windows missing");
    std::printf("%d chat windows open, %.1f MiB resident\n", kManyChats, bench::ReadProcess().rssMiB);

    CProcessWatch watch;
    const int requests = WatchSteadyRun(session, watch, seconds);

    int counted = 0;
    const double worstMs = WorstPollLatenessMs(session.transport->Polls(), kPeriodMs, counted);
    std::printf("%d chats %.1f s: %d requests (%.1f a second), CPU %.2f s (the watching thread's %.3f s taken out), "
                "threads %d to %d, base %d; %d poll intervals, worst lateness %.0f ms\n",
                kManyChats, watch.elapsed, requests, requests / watch.elapsed, watch.cpuUsed, watch.samplerUsed,
                watch.fewest, watch.most, watch.base, counted, worstMs);
    PrintExchanges(session.transport->Durations());
    bench::PrintResult({"7", "500 chat windows polling 1 s, list every 2 s (CPU of one core)",
                        bench::Format("%.2f%%", watch.CpuPercent()),
                        bench::Format("%.0f requests/s", requests / watch.elapsed), "-", "<= 10%",
                        watch.CpuPercent() <= 10});
    bench::PrintResult({"7", "500 chat windows: worst poll lateness beyond the 1 s period",
                        bench::Format("%.0f ms", worstMs), bench::Format("%d poll intervals", counted), "-",
                        "< one period", counted > 0 && worstMs < kPeriodMs});
    bench::PrintResult(ThreadsResult("7", watch, requests));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    int seconds = 60;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    try {
        if (mode == "memory")
            return RunMemory();
        if (mode == "idle")
            return RunIdle(seconds);
        if (mode == "many")
            return RunMany(seconds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kivora_bench_session: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: kivora_bench_session memory | idle [--seconds N] | many [--seconds N]\n");
    return 2;
}
