// Splitting a 1 MiB visitor-list-like reply by lines then fields with SplitRecord,
// against a bare std::string_view::find loop over the same bytes; the summary
// gives SplitRecord's throughput as a share of the loop's.
#include "BenchSummary.h"
#include "net/RecordText.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string& Reply()
{
    static const std::string reply = [] {
        std::string text;
        const std::string row =
            "192.0.2.17<fld>0:03:12 (2)<fld>/products/index.html<fld>Browsing<fld>N<fld>c123456<fld>"
            "<fld><fld>0<fld>0<fld>N";
        while (text.size() < (1u << 20))
            text += row + "<ln>";
        return text;
    }();
    return reply;
}

void SplitRecordLinesThenFields(benchmark::State& state)
{
    const std::string& reply = Reply();
    for (auto _ : state) {
        std::size_t fields = 0;
        for (const std::string& line : kivora::net::SplitRecord(reply, kivora::net::kLineSep))
            fields += kivora::net::SplitRecord(line, kivora::net::kFieldSep).size();
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(SplitRecordLinesThenFields)->Repetitions(5);

// The reference: lines and fields found with std::string_view::find, nothing kept.
std::size_t FindLoop(std::string_view reply)
{
    std::size_t fields = 0;
    std::size_t lineStart = 0;
    for (;;) {
        const std::size_t lineEnd = reply.find("<ln>", lineStart);
        const std::string_view line =
            reply.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - lineStart);
        for (std::size_t p = 0;; ++fields) {
            const std::size_t f = line.find("<fld>", p);
            if (f == std::string_view::npos)
                break;
            p = f + 5;
        }
        ++fields;
        if (lineEnd == std::string_view::npos)
            break;
        lineStart = lineEnd + 4;
    }
    return fields;
}

void FindLoopReference(benchmark::State& state)
{
    const std::string_view reply = Reply();
    for (auto _ : state)
        benchmark::DoNotOptimize(FindLoop(reply));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(FindLoopReference)->Repetitions(5);

// Both in turn, round after round, each round's times on this thread's CPU
// clock: a busy machine then slows both alike, and the share is the median of the
// rounds' shares.
void SplitAgainstFindInTurn(benchmark::State& state)
{
    const std::string& reply = Reply();
    std::vector<double> split, loop, shares;
    for (auto _ : state) {
        for (int round = 0; round < 300; ++round) {
            const double t0 = kivora::bench::ThreadCpuSeconds();
            std::size_t fields = 0;
            for (const std::string& line : kivora::net::SplitRecord(reply, kivora::net::kLineSep))
                fields += kivora::net::SplitRecord(line, kivora::net::kFieldSep).size();
            benchmark::DoNotOptimize(fields);
            const double t1 = kivora::bench::ThreadCpuSeconds();
            benchmark::DoNotOptimize(FindLoop(reply));
            const double t2 = kivora::bench::ThreadCpuSeconds();
            split.push_back(t1 - t0);
            loop.push_back(t2 - t1);
            shares.push_back((t2 - t1) / (t1 - t0));
        }
        state.SetIterationTime(kivora::bench::Median(split));
    }
    const double mib = static_cast<double>(reply.size()) / (1 << 20);
    state.counters["split_mib_s"] = mib / kivora::bench::Median(split);
    state.counters["find_mib_s"] = mib / kivora::bench::Median(loop);
    state.counters["share"] = kivora::bench::Median(shares);
}
BENCHMARK(SplitAgainstFindInTurn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void Summarize(const kivora::bench::CSummaryReporter& runs)
{
    const kivora::bench::Timing* inTurn = runs.Find("SplitAgainstFindInTurn");
    if (!inTurn)
        return;
    const auto c = [inTurn](const char* name) { return static_cast<double>(inTurn->counters.at(name)); };
    kivora::bench::PrintResult({"2", "SplitRecord, 1 MiB reply by `<ln>` then `<fld>` (in turn, CPU)",
                                kivora::bench::Format("%.0f MiB/s", c("split_mib_s")),
                                kivora::bench::Format("find loop %.0f MiB/s", c("find_mib_s")),
                                kivora::bench::Format("%.2fx its throughput", c("share")), ">= 0.5x",
                                c("share") >= 0.5});
}

} // namespace

int main(int argc, char** argv)
{
    return kivora::bench::RunWithSummary(argc, argv, Summarize);
}
