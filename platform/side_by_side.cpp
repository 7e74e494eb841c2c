#include "platform/side_by_side.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
void runSideBySide(void (*task)(void* work), void* first, void* second) {
    task(first);
    task(second);
}
#else
#include <system_error>
#include <thread>

void runSideBySide(void (*task)(void* work), void* first, void* second) {
    std::thread aside;
    try {
        aside = std::thread(task, second);
    } catch (const std::system_error&) {
        task(first);
        task(second);
        return;
    }
    task(first);
    aside.join();
}
#endif
