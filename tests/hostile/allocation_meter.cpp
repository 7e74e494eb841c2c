#include "allocation_meter.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define HALVEX_HAVE_ALLOCATION_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALVEX_HAVE_ALLOCATION_HOOKS 1
#endif
#endif

#ifdef HALVEX_HAVE_ALLOCATION_HOOKS

// From the sanitizer runtime's allocator interface (GCC ships the runtime
// but not its headers).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                              void (*freeHook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* pointer);
}

namespace {

bool counting = false;
long long live = 0;
long long peak = 0;

void onMalloc(const volatile void*, size_t size) {
    if (!counting)
        return;
    live += static_cast<long long>(size);
    if (live > peak)
        peak = live;
}

void onFree(const volatile void* pointer) {
    if (!counting || pointer == nullptr)
        return;
    live -= static_cast<long long>(__sanitizer_get_allocated_size(pointer));
}

bool installHooks() {
    return __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
}

} // namespace

namespace allocationMeter {

bool available() {
    static const bool installed = installHooks();
    return installed;
}

void start() {
    available();
    live = 0;
    peak = 0;
    counting = true;
}

size_t stop() {
    counting = false;
    return static_cast<size_t>(peak);
}

} // namespace allocationMeter

#else

namespace allocationMeter {

bool available() {
    return false;
}
void start() {}
size_t stop() {
    return 0;
}

} // namespace allocationMeter

#endif
