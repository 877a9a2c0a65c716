#include "Threads.h"

#include <memory>
#include <mutex>

#include <malloc.h>
#include <pthread.h>

namespace kivora::platform {

bool StartDetachedThread(std::function<void()> body, std::size_t stackBytes)
{
    auto task = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const int started = pthread_create(
        &thread, &attributes,
        [](void* raw) -> void* {
            const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(raw));
            (*run)();
            return nullptr;
        },
        task.get());
    pthread_attr_destroy(&attributes);
    if (started != 0)
        return false;
    task.release(); // the thread owns it now
    return true;
}

void LimitMallocArenas(int arenas)
{
    static std::once_flag once;
    std::call_once(once, [arenas] { mallopt(M_ARENA_MAX, arenas); });
}

} // namespace kivora::platform
