// A day of chat in one transcript, offscreen: 100,000 lines appended through
// AppendLine with the size cap in force. The cost per line of the first 10,000
// and of the last 10,000 appends are reported side by side (us_first_10k,
// us_last_10k, last_over_first), so a cost that grows with the history shows up
// as a ratio above 1. Arg 1 runs the event loop after every line, as when lines
// arrive one by one and each is painted; Arg 0 lets a burst arrive between two
// passes of the event loop (every 100 lines).
#include "chat/Transcript.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace {

using kivora::chat::ClassifyLine;
using kivora::chat::CTranscriptView;

constexpr int kLines = 100'000;
constexpr int kMeasured = 10'000;
constexpr char kLogin[] = "admin";

struct Line {
    QString text;
    QColor color;
};

// Own lines, visitors' lines and the service's notices, 40 to 80 characters,
// every tenth with an address in it; classified as the chat window does.
std::vector<Line> MakeLines()
{
    static const char* const speakers[] = {"admin: ", "Ann: ", "Bernhard: ", "admin: ", "Chloe: ", "Notice: "};
    static const char* const phrases[] = {
        "thanks for waiting, let me check that order for you",
        "the parcel left the warehouse on Monday",
        "could you tell me the number on the invoice please",
        "I have tried that already and it still fails",
        "Chat Closed by User.",
        "is there anything else I can help you with today",
    };
    std::vector<Line> lines;
    lines.reserve(kLines);
    for (int i = 0; i < kLines; ++i) {
        std::string text = speakers[i % 6];
        text += phrases[(i / 6 + i) % 6];
        if (i % 10 == 0)
            text += " see http://shop.example/item-" + std::to_string(i) + ".html";
        text += " #" + std::to_string(i % 97);
        const auto style = ClassifyLine(text, kLogin);
        lines.push_back({QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())) +
                             QStringLiteral("\r\n"),
                         style.color});
    }
    return lines;
}

// Wall time and this thread's CPU time, in seconds; the CPU time stays readable
// on a machine that is busy with other work.
struct Times {
    double wall = 0;
    double cpu = 0;
};

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void AppendHundredThousandLines(benchmark::State& state)
{
    const std::vector<Line> lines = MakeLines();
    const int eventsEvery = state.range(0) != 0 ? 1 : 100;
    using Clock = std::chrono::steady_clock;

    Times first;
    Times last;
    int charsAtEnd = 0;
    for (auto _ : state) {
        QWidget window;
        auto* view = new CTranscriptView(&window);
        view->setGeometry(8, 8, 520, 260);
        window.resize(536, 300);
        window.show();
        QCoreApplication::processEvents();

        const auto run = [&](int from, int to) {
            const auto wallStart = Clock::now();
            const double cpuStart = ThreadCpuSeconds();
            for (int i = from; i < to; ++i) {
                const Line& line = lines[static_cast<std::size_t>(i)];
                view->AppendLine(line.text, line.color);
                if ((i + 1) % eventsEvery == 0)
                    QCoreApplication::processEvents();
            }
            return Times{std::chrono::duration<double>(Clock::now() - wallStart).count(),
                         ThreadCpuSeconds() - cpuStart};
        };
        const Times early = run(0, kMeasured);
        const Times middle = run(kMeasured, kLines - kMeasured);
        const Times late = run(kLines - kMeasured, kLines);
        state.SetIterationTime(early.wall + middle.wall + late.wall);
        first.wall += early.wall;
        first.cpu += early.cpu;
        last.wall += late.wall;
        last.cpu += late.cpu;
        charsAtEnd = view->CharacterCount();
    }
    const double perLine = 1e6 / static_cast<double>(state.iterations()) / kMeasured;
    state.counters["us_first_10k"] = first.wall * perLine;
    state.counters["us_last_10k"] = last.wall * perLine;
    state.counters["last_over_first"] = last.wall / first.wall;
    state.counters["cpu_us_first_10k"] = first.cpu * perLine;
    state.counters["cpu_us_last_10k"] = last.cpu * perLine;
    state.counters["chars_at_end"] = charsAtEnd;
}
BENCHMARK(AppendHundredThousandLines)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
