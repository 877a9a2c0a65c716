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
//
// AppendHostileLines gives a transcript outside text of hostile sizes, the event
// loop turned after every append: one line of 1 MiB without a break or a blank
// into an empty transcript, then 100 lines of 100 KB each into the same one, with
// the characters it holds afterwards and the growth of the resident memory across
// those 100 lines. Ordinary lines go one by one into a transcript of their own in
// the same stretch of time, as the reference. --long_line_chars=N and
// --wide_line_chars=N make the sizes smaller, and no part runs past its time
// budget: the long line is tried only when two lines of a 32nd and a 16th of its
// length foretell that it ends within the budget, and the 100 lines stop when
// theirs is spent.
#include "BenchSummary.h"
#include "BenchSupport.h"
#include "chat/Transcript.h"

#include <QApplication>
#include <QTextDocument>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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
std::vector<Line> MakeLines(int count = kLines)
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
    lines.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
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

Times Now()
{
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            ThreadCpuSeconds()};
}

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

    // One line and the turn of the event loop that lays it out and paints it.
    Times AppendOne(const QString& text, const QColor& color)
    {
        const Times start = Now();
        view->AppendLine(text, color);
        QCoreApplication::processEvents();
        return Now() - start;
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

// The sizes of AppendHostileLines, in characters; the command line can make them smaller.
long long longLineChars = 1'048'576;
long long wideLineChars = 100'000;

constexpr int kWideLines = 100;
// Ordinary lines before the hostile ones, and after each 100 KB line.
constexpr int kOrdinaryBefore = 500;
constexpr int kOrdinaryPerWide = 10;
// Wall time each part may take: foretold for the long line, spent for the 100
// lines, which are not begun when one of them is foretold to take over a quarter.
constexpr double kLongLineBudget = 8;
constexpr double kWideLinesBudget = 12;

// A visitor's line of `chars` characters, neither a break nor a blank in it (the
// line end the chat window adds to every line comes on top).
QString MakeHostileLine(long long chars, int tag)
{
    const QString head = QStringLiteral("Mallory%1:").arg(tag);
    QString line(static_cast<qsizetype>(std::max<long long>(chars, head.size())) + 2, u'x');
    QChar* out = line.data();
    for (qsizetype i = 0; i < line.size() - 2; ++i)
        out[i] = i < head.size() ? head[i] : QChar(u"abcdefghijklmnopqrstuvwxyz0123456789"[i % 36]);
    out[line.size() - 2] = u'\r';
    out[line.size() - 1] = u'\n';
    return line;
}

// The time a line of `chars` characters would take, foretold from lines of a
// 32nd and a 16th of that, each into an empty transcript: its cost taken to grow
// with the power of the length seen between those two, at least linearly. CPU
// times, the faster of two tries: a busy machine must not make the power look
// higher than it is.
double ForetellLine(long long chars, const QColor& color)
{
    double cpu[2] = {};
    for (int i = 0; i < 2; ++i) {
        const QString line = MakeHostileLine(std::max(1LL, chars / (32 >> i)), 0);
        for (int attempt = 0; attempt < 2; ++attempt) {
            Transcript probe;
            const double spent = probe.AppendOne(line, color).cpu;
            cpu[i] = attempt == 0 ? spent : std::min(cpu[i], spent);
        }
    }
    const double power = cpu[0] > 0 ? std::clamp(std::log2(cpu[1] / cpu[0]), 1.0, 3.0) : 1.0;
    return cpu[1] * std::pow(16.0, power);
}

void AppendHostileLines(benchmark::State& state)
{
    const std::vector<Line> ordinary = MakeLines(kOrdinaryBefore + kWideLines * kOrdinaryPerWide);
    const QColor color = ClassifyLine("Mallory0:abc", kLogin).color;
    for (auto _ : state) {
        const Times start = Now();
        Transcript reference;
        std::vector<double> ordinaryCpu;
        std::size_t nextOrdinary = 0;
        const auto appendOrdinary = [&](int count) {
            for (int i = 0; i < count; ++i, ++nextOrdinary) {
                const Line& line = ordinary[nextOrdinary];
                ordinaryCpu.push_back(reference.AppendOne(line.text, line.color).cpu);
            }
        };
        appendOrdinary(kOrdinaryBefore);

        const double foretold = ForetellLine(longLineChars, color);
        Transcript hostile;
        Times longLine{-1, -1};
        if (foretold <= kLongLineBudget) {
            const QString line = MakeHostileLine(longLineChars, 0);
            longLine = hostile.AppendOne(line, color);
        }
        const int longLineShown = hostile.view->CharacterCount();

        const double wideForetold = ForetellLine(wideLineChars, color);
        const bool wideTried = wideForetold <= kWideLinesBudget / 4;
        // What one 100 KB line leaves in a transcript, for the bound on what the
        // transcript may hold after them: the cap, and one line on top.
        int wideLineShown = 0;
        if (wideTried) {
            Transcript alone;
            alone.AppendOne(MakeHostileLine(wideLineChars, 0), color);
            wideLineShown = alone.view->CharacterCount();
        }

        const double residentBefore = kivora::bench::ReadProcess().rssMiB;
        std::vector<double> wideCpu, wideWall;
        const Times wideStart = Now();
        for (int i = 1; wideTried && i <= kWideLines && (Now() - wideStart).wall < kWideLinesBudget; ++i) {
            const QString line = MakeHostileLine(wideLineChars, i);
            const Times spent = hostile.AppendOne(line, color);
            wideCpu.push_back(spent.cpu);
            wideWall.push_back(spent.wall);
            appendOrdinary(kOrdinaryPerWide);
        }
        const double residentAfter = kivora::bench::ReadProcess().rssMiB;

        state.SetIterationTime((Now() - start).wall);
        const auto max = [](const std::vector<double>& v) {
            return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
        };
        state.counters["ordinary_cpu_us"] = kivora::bench::Median(ordinaryCpu) * 1e6;
        state.counters["long_foretold_s"] = foretold;
        state.counters["long_cpu_ms"] = longLine.cpu * 1e3;
        state.counters["long_wall_ms"] = longLine.wall * 1e3;
        state.counters["long_shown_chars"] = longLineShown;
        state.counters["wide_foretold_s"] = wideForetold;
        state.counters["wide_lines"] = static_cast<double>(wideCpu.size());
        state.counters["wide_cpu_median_ms"] = kivora::bench::Median(wideCpu) * 1e3;
        state.counters["wide_cpu_max_ms"] = max(wideCpu) * 1e3;
        state.counters["wide_wall_max_ms"] = max(wideWall) * 1e3;
        state.counters["wide_shown_chars"] = wideLineShown;
        state.counters["chars_at_end"] = hostile.view->CharacterCount();
        state.counters["paragraphs_at_end"] = hostile.view->document()->blockCount();
        state.counters["rss_growth_mib"] = residentAfter - residentBefore;
        state.counters["rss_before_mib"] = residentBefore;
    }
}
BENCHMARK(AppendHostileLines)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// "1 MiB", "100 KB", or the count of characters given on the command line.
std::string SizeName(long long chars)
{
    if (chars == 1'048'576)
        return "1 MiB";
    if (chars == 100'000)
        return "100 KB";
    return kivora::bench::Format("%lld-char", chars);
}

void SummarizeHostile(const kivora::bench::CSummaryReporter& runs)
{
    using kivora::bench::Format;
    const kivora::bench::Timing* run = runs.Find("AppendHostileLines");
    if (!run)
        return;
    const auto c = [run](const char* name) { return static_cast<double>(run->counters.at(name)); };
    const double ordinaryUs = c("ordinary_cpu_us");
    const std::string reference = Format("ordinary line (about 60 chars) %.1f us", ordinaryUs);
    const std::string longName = SizeName(longLineChars);
    const std::string wideName = SizeName(wideLineChars);

    const std::string longTitle =
        "AppendLine, one " + longName + " line, no breaks or blanks, into an empty transcript (CPU)";
    if (c("long_cpu_ms") < 0) {
        kivora::bench::PrintResult({"8", longTitle, Format("not tried: foretold %.0f s", c("long_foretold_s")),
                                    reference, "-", "<= 30 ms", false});
    } else {
        kivora::bench::PrintResult({"8", longTitle, Format("%.1f ms (wall %.1f)", c("long_cpu_ms"), c("long_wall_ms")),
                                    reference, Format("%.0fx", c("long_cpu_ms") * 1e3 / ordinaryUs), "<= 30 ms",
                                    c("long_cpu_ms") <= 30});
    }

    const int done = static_cast<int>(c("wide_lines"));
    const double median = c("wide_cpu_median_ms");
    const double max = c("wide_cpu_max_ms");
    const std::string wideTitle =
        Format("AppendLine, then %d lines of ", kWideLines) + wideName + " each: time per line (CPU)";
    if (done == 0) {
        kivora::bench::PrintResult({"8", wideTitle, Format("not tried: foretold %.1f s a line", c("wide_foretold_s")),
                                    reference, "-", "<= 10 ms per line", false});
        return;
    }
    kivora::bench::PrintResult(
        {"8", wideTitle,
         Format("median %.2f ms, max %.2f ms (wall max %.2f)", median, max, c("wide_wall_max_ms")) +
             (done < kWideLines ? Format("; only %d lines within %.0f s", done, kWideLinesBudget) : ""),
         reference, Format("%.0fx (median)", median * 1e3 / ordinaryUs), "<= 10 ms per line",
         done == kWideLines && max <= 10});

    const int cap = CTranscriptView::kTrimThreshold + static_cast<int>(c("wide_shown_chars"));
    const int held = static_cast<int>(c("chars_at_end"));
    kivora::bench::PrintResult({"8", "transcript after those lines: characters held",
                                Format("%d chars in %d paragraph(s)", held, static_cast<int>(c("paragraphs_at_end"))),
                                Format("cap %d + one line shown as %d", CTranscriptView::kTrimThreshold,
                                       static_cast<int>(c("wide_shown_chars"))),
                                Format("%.2f of the bound", static_cast<double>(held) / cap), Format("<= %d", cap),
                                done == kWideLines && held <= cap});
    kivora::bench::PrintResult({"8", "resident memory growth across those lines",
                                Format("%+.1f MiB", c("rss_growth_mib")),
                                Format("before %.1f MiB", c("rss_before_mib")),
                                "-", "none: whether the cap bounds memory too", false, true});
}

void SummarizeDayOfChat(const kivora::bench::CSummaryReporter& runs)
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

void Summarize(const kivora::bench::CSummaryReporter& runs)
{
    SummarizeDayOfChat(runs);
    SummarizeHostile(runs);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    longLineChars = kivora::bench::TakeSizeOption(argc, argv, "--long_line_chars", longLineChars);
    wideLineChars = kivora::bench::TakeSizeOption(argc, argv, "--wide_line_chars", wideLineChars);
    return kivora::bench::RunWithSummary(argc, argv, Summarize);
}
