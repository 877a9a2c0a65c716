// A day of chat in one transcript, offscreen: 100,000 lines appended through
// AppendLine with the size cap in force, and the cost per line of the first
// 10,000 appends beside that of the last 10,000 (us_first_10k, us_last_10k,
// last_over_first), so a cost that grows with the history shows up as a ratio
// above 1. CPU time is reported beside wall time (cpu_us_*).
//
// AppendHundredThousandLines does exactly that in one run, the event loop
// passing once every 100 lines (a burst of lines, painted once).
// AppendBothEndsInterleaved measures the two ends in the same stretch of time: a
// fresh transcript takes lines 0-9,999 while another, which has already taken
// lines 0-89,999 untimed, takes lines 90,000-99,999, alternating in chunks of 100
// lines, so a busy machine slows both ends alike instead of skewing the ratio.
// Its Arg 1 runs the event loop after every line, as when lines arrive one by one
// and each is painted; Arg 0 once per chunk.
#include "BenchSummary.h"
#include "chat/Transcript.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

using kivora::chat::ClassifyLine;
using kivora::chat::CTranscriptView;

constexpr int kLines = 100'000;
constexpr int kMeasured = 10'000;
constexpr int kChunk = 100;
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

// This thread's CPU time in seconds; it stays readable when other programs
// compete for the machine, where the wall time does not.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Times {
    double wall = 0;
    double cpu = 0;

    Times operator-(const Times& other) const { return {wall - other.wall, cpu - other.cpu}; }
};

// A shown chat-window-sized transcript and the time spent appending to it.
struct Transcript {
    QWidget window;
    CTranscriptView* view = new CTranscriptView(&window);
    Times spent;

    Transcript()
    {
        view->setGeometry(8, 8, 520, 260);
        window.resize(536, 300);
        window.show();
        QCoreApplication::processEvents();
    }

    void Append(const std::vector<Line>& lines, int from, int to, int eventsEvery)
    {
        for (int i = from; i < to; ++i) {
            const Line& line = lines[static_cast<std::size_t>(i)];
            view->AppendLine(line.text, line.color);
            if ((i + 1) % eventsEvery == 0)
                QCoreApplication::processEvents();
        }
    }

    void TimedAppend(const std::vector<Line>& lines, int from, int to, int eventsEvery)
    {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = ThreadCpuSeconds();
        Append(lines, from, to, eventsEvery);
        spent.cpu += ThreadCpuSeconds() - cpuStart;
        spent.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
};

void SetCounters(benchmark::State& state, const Times& early, const Times& late, int charsAtEnd)
{
    const double perLine = 1e6 / kMeasured;
    state.counters["us_first_10k"] = early.wall * perLine;
    state.counters["us_last_10k"] = late.wall * perLine;
    state.counters["last_over_first"] = late.wall / early.wall;
    state.counters["cpu_us_first_10k"] = early.cpu * perLine;
    state.counters["cpu_us_last_10k"] = late.cpu * perLine;
    state.counters["chars_at_end"] = charsAtEnd;
}

void AppendHundredThousandLines(benchmark::State& state)
{
    const std::vector<Line> lines = MakeLines();
    for (auto _ : state) {
        Transcript transcript;
        transcript.TimedAppend(lines, 0, kMeasured, kChunk);
        const Times early = transcript.spent;
        transcript.TimedAppend(lines, kMeasured, kLines - kMeasured, kChunk);
        const Times beforeLate = transcript.spent;
        transcript.TimedAppend(lines, kLines - kMeasured, kLines, kChunk);
        state.SetIterationTime(transcript.spent.wall);
        SetCounters(state, early, transcript.spent - beforeLate, transcript.view->CharacterCount());
    }
}
BENCHMARK(AppendHundredThousandLines)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void AppendBothEndsInterleaved(benchmark::State& state)
{
    const std::vector<Line> lines = MakeLines();
    const int eventsEvery = state.range(0) != 0 ? 1 : kChunk;
    for (auto _ : state) {
        state.PauseTiming();
        Transcript late;
        late.Append(lines, 0, kLines - kMeasured, kChunk);
        Transcript early;
        state.ResumeTiming();

        for (int chunk = 0; chunk < kMeasured / kChunk; ++chunk) {
            const int from = chunk * kChunk;
            // Alternate which end goes first, so neither always follows the other.
            Transcript* order[] = {&early, &late};
            if (chunk % 2 != 0)
                std::swap(order[0], order[1]);
            for (Transcript* t : order) {
                const int offset = t == &late ? kLines - kMeasured : 0;
                t->TimedAppend(lines, offset + from, offset + from + kChunk, eventsEvery);
            }
        }
        state.SetIterationTime(early.spent.wall + late.spent.wall);
        SetCounters(state, early.spent, late.spent, late.view->CharacterCount());
    }
}
BENCHMARK(AppendBothEndsInterleaved)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void Summarize(const kivora::bench::CSummaryReporter& runs)
{
    using kivora::bench::Format;
    const kivora::bench::Timing* whole = runs.Find("AppendHundredThousandLines");
    const kivora::bench::Timing* both = runs.Find("AppendBothEndsInterleaved/0");
    if (!whole || !both)
        return;
    const auto c = [](const kivora::bench::Timing* t, const char* name) { return static_cast<double>(t->counters.at(name)); };
    const double late = c(whole, "cpu_us_last_10k");
    kivora::bench::PrintResult({"4", "AppendLine, 100,000 lines under the cap: last 10,000 (CPU)",
                                Format("%.1f us/line (wall %.1f)", late, c(whole, "us_last_10k")),
                                Format("first 10,000 %.1f us/line", c(whole, "cpu_us_first_10k")), "-",
                                "<= 100 us/line", late <= 100});
    const double ratio = c(both, "cpu_us_last_10k") / c(both, "cpu_us_first_10k");
    kivora::bench::PrintResult({"4", "AppendLine, last 10,000 vs first 10,000 (interleaved, CPU)",
                                Format("%.1f us/line", c(both, "cpu_us_last_10k")),
                                Format("first 10,000 %.1f us/line", c(both, "cpu_us_first_10k")),
                                Format("%.2fx", ratio), "<= 1.5x", ratio <= 1.5});
    if (const kivora::bench::Timing* painted = runs.Find("AppendBothEndsInterleaved/1"))
        std::printf("  painted after every line: %.1f us/line last, %.1f us/line first (CPU)\n",
                    c(painted, "cpu_us_last_10k"), c(painted, "cpu_us_first_10k"));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return kivora::bench::RunWithSummary(argc, argv, Summarize);
}
