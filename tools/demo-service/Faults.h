#pragma once

// Misbehaviours the service can be told to show on its next requests, so that the
// console's handling of broken, slow and odd replies can be exercised on purpose.

#include "Query.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivora::demo {

enum class FaultMode {
    Hang,     // hold the request unanswered, then answer normally
    Close,    // announce a body and drop the connection part way
    Error500, // status 500 with a small HTML page
    Size,     // status 200 with a body of exactly `size` filler bytes
    Body,     // status 200 with exactly the given bytes
    Trickle,  // the normal reply (or `size` filler bytes), one byte per 100 ms
};

struct Fault {
    FaultMode mode = FaultMode::Error500;
    int remaining = 1;               // requests still to be answered by this fault
    std::optional<std::size_t> size; // Size (required) and Trickle
    int seconds = 120;               // Hang
    std::string body;                // Body
    std::string endpoint;            // only requests to this endpoint ("w-login"); empty: any
};

// Reads mode, count, size, seconds, body and endpoint from a /_sim/fault query. On bad
// input returns nothing and says why in `error`.
std::optional<Fault> ParseFault(const QueryParams& params, std::string& error);

// Whether the fault is for a request to `endpoint` (the file name without ".php";
// empty for a path that names no endpoint).
bool AppliesTo(const Fault& fault, std::string_view endpoint);

// Printable filler without separators or zero bytes; a body of any length can be made
// from it piecewise, since byte i depends only on i.
char FillerByte(std::uint64_t index);
std::string Filler(std::uint64_t offset, std::size_t length);

} // namespace kivora::demo
