#pragma once

#include <cstddef>
#include <functional>

namespace kivora::platform {

// Starts body on a detached thread of its own with a stack of stackBytes; false
// when no thread could be had.
bool StartDetachedThread(std::function<void()> body, std::size_t stackBytes);

// Keeps the C library's memory arenas to `arenas`, once per process. Many short
// threads otherwise get arenas of their own (up to eight per core), each keeping
// what its threads freed.
void LimitMallocArenas(int arenas);

} // namespace kivora::platform
