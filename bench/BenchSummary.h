#pragma once

// What every benchmark program here shares: a console reporter that also keeps
// each run's times, so that a program can set its figures against the references
// measured in the same run, and the result lines that scripts/bench gathers into
// the README's table.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kivora::bench {

// One run, per iteration, in seconds; the fastest of its repetitions.
struct Timing {
    double real = 0;
    double cpu = 0;
    benchmark::UserCounters counters;
};

class CSummaryReporter final : public benchmark::ConsoleReporter {
public:
    // Plain text: the output is mostly read from files.
    CSummaryReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            const double iterations = static_cast<double>(run.iterations);
            const Timing timing{run.real_accumulated_time / iterations, run.cpu_accumulated_time / iterations,
                                run.counters};
            // Of repeated runs the fastest counts: other work on the machine only
            // ever adds time.
            const std::string name =
                run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            const auto known = timings.find(name);
            if (known == timings.end() || timing.cpu < known->second.cpu)
                timings[name] = timing;
        }
    }

    // By function name and arguments ("Name/10000"); null when it did not run.
    const Timing* Find(const std::string& name) const
    {
        const auto found = timings.find(name);
        return found == timings.end() ? nullptr : &found->second;
    }

private:
    std::map<std::string, Timing> timings;
};

// This thread's CPU time in seconds; other programs on the machine change it far
// less than they change the wall time.
inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// One row of the results table, printed as "RESULT|...": scripts/bench turns
// these into the README's table; anyone reading the output sees them as they are.
struct Result {
    std::string number;
    std::string benchmark;
    std::string figure;
    std::string reference;
    std::string ratio;
    std::string target;
    bool met = false;
    // A figure with no target of its own that shows where another one's time goes.
    bool informational = false;
};

inline void PrintResult(const Result& r)
{
    std::printf("RESULT|%s|%s|%s|%s|%s|%s|%s\n", r.number.c_str(), r.benchmark.c_str(), r.figure.c_str(),
                r.reference.c_str(), r.ratio.c_str(), r.target.c_str(),
                r.informational ? "-" : (r.met ? "met" : "NOT met"));
    std::fflush(stdout);
}

// printf into a std::string, for the figures of a result.
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

// Runs the registered benchmarks with the summary reporter, then hands the
// timings to summarize, which prints the program's results. Benchmarks that
// were filtered out are simply missing from the reporter.
inline int RunWithSummary(int& argc, char** argv, const std::function<void(const CSummaryReporter&)>& summarize)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n");
    summarize(reporter);
    return 0;
}

} // namespace kivora::bench
