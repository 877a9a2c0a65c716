// The libFuzzer entry of one reply parser. Each target is this file built with
// KIVORA_FUZZ_CHECK naming its check in ReplyChecks.h.

#include "ReplyChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifndef KIVORA_FUZZ_CHECK
#error "KIVORA_FUZZ_CHECK must name a check of ReplyChecks.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every byte value, zero included, reaches the parser as the reply text.
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const std::string fault = kivora::fuzz::KIVORA_FUZZ_CHECK(reply);
    if (!fault.empty()) {
        std::fprintf(stderr, "reply check failed: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
