#include "Faults.h"

#include <charconv>

namespace kivora::demo {

namespace {

constexpr std::string_view kFillerPattern =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Keeps a typo from asking for a body larger than the test machine's memory.
constexpr std::uint64_t kMaxFaultSize = 1ULL << 30;

std::optional<FaultMode> ModeFromName(std::string_view name)
{
    if (name == "hang")
        return FaultMode::Hang;
    if (name == "close")
        return FaultMode::Close;
    if (name == "error500")
        return FaultMode::Error500;
    if (name == "size")
        return FaultMode::Size;
    if (name == "body")
        return FaultMode::Body;
    if (name == "trickle")
        return FaultMode::Trickle;
    return std::nullopt;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

} // namespace

std::optional<Fault> ParseFault(const QueryParams& params, std::string& error)
{
    const std::string* modeName = FindParam(params, "mode");
    const auto mode = modeName ? ModeFromName(*modeName) : std::nullopt;
    if (!mode) {
        error = "unknown mode";
        return std::nullopt;
    }
    Fault fault;
    fault.mode = *mode;

    if (const std::string* count = FindParam(params, "count")) {
        if (!ParseNumber(*count, fault.remaining) || fault.remaining < 1) {
            error = "count must be a whole number of at least 1";
            return std::nullopt;
        }
    }
    if (const std::string* size = FindParam(params, "size")) {
        std::uint64_t bytes = 0;
        if (!ParseNumber(*size, bytes) || bytes > kMaxFaultSize) {
            error = "size must be a whole number of bytes up to 1 GiB";
            return std::nullopt;
        }
        fault.size = static_cast<std::size_t>(bytes);
    } else if (fault.mode == FaultMode::Size) {
        error = "mode size needs size=BYTES";
        return std::nullopt;
    }
    if (const std::string* seconds = FindParam(params, "seconds")) {
        if (!ParseNumber(*seconds, fault.seconds) || fault.seconds < 0) {
            error = "seconds must be a whole number";
            return std::nullopt;
        }
    }
    if (const std::string* body = FindParam(params, "body"))
        fault.body = *body;
    if (const std::string* endpoint = FindParam(params, "endpoint")) {
        if (endpoint->empty() || endpoint->find('/') != std::string::npos) {
            error = "endpoint must be an endpoint's name, e.g. w-login";
            return std::nullopt;
        }
        fault.endpoint = *endpoint;
    }
    return fault;
}

bool AppliesTo(const Fault& fault, std::string_view endpoint)
{
    return fault.endpoint.empty() || fault.endpoint == endpoint;
}

char FillerByte(std::uint64_t index)
{
    return kFillerPattern[index % kFillerPattern.size()];
}

std::string Filler(std::uint64_t offset, std::size_t length)
{
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        out[i] = FillerByte(offset + i);
    return out;
}

} // namespace kivora::demo
