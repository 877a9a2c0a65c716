#include "BenchSupport.h"

#include <httplib.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace kivora::bench {

CBenchService::CBenchService(const std::vector<std::string>& extraArgs)
    : process(KIVORA_DEMO_SERVICE_BINARY, extraArgs, false),
      client(std::make_unique<httplib::Client>("127.0.0.1", process.Port()))
{
    client->set_keep_alive(true);
    client->set_url_encode(false);
    client->set_connection_timeout(5);
    client->set_read_timeout(30);
}

// Members end in reverse order: the client before the process it talks to.
CBenchService::~CBenchService() = default;

std::optional<std::string> CBenchService::Get(const std::string& pathAndQuery)
{
    const auto result = client->Get(pathAndQuery);
    if (!result || result->status != 200)
        return std::nullopt;
    return result->body;
}

std::string CBenchService::AddVisitor(const std::string& query)
{
    const auto id = Get("/_sim/visitor/add?" + query);
    return id && id->size() == 18 ? *id : std::string();
}

ProcessReading ReadProcess()
{
    ProcessReading reading;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        const auto value = [&line] { return std::atof(line.c_str() + line.find(':') + 1); };
        if (line.starts_with("VmRSS:"))
            reading.rssMiB = value() / 1024;
        else if (line.starts_with("VmHWM:"))
            reading.peakMiB = value() / 1024;
        else if (line.starts_with("Threads:"))
            reading.threads = static_cast<int>(value());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    reading.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return reading;
}

double Quantile(std::vector<double>& values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(at));
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

long long TakeSizeOption(int& argc, char** argv, std::string_view name, long long fallback)
{
    long long value = fallback;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg.size() > name.size() + 1 && arg.starts_with(name) && arg[name.size()] == '=')
            value = std::max(1LL, std::atoll(argv[i] + name.size() + 1));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[kept] = nullptr;
    return value;
}

} // namespace kivora::bench
