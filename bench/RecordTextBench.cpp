// Splitting a 1 MiB visitor-list-like reply by lines then fields, against a bare
// find loop over the same bytes.
#include "net/RecordText.h"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

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
BENCHMARK(SplitRecordLinesThenFields);

void FindLoopReference(benchmark::State& state)
{
    const std::string_view reply = Reply();
    for (auto _ : state) {
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
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(FindLoopReference);

} // namespace

BENCHMARK_MAIN();
