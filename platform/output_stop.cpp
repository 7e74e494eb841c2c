#include "platform/output_stop.h"

#include <atomic>

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set from signal handlers");
std::atomic<int> stopRequested{0};

} // namespace

void requestOutputStop() {
    stopRequested.store(1, std::memory_order_relaxed);
}

bool outputStopRequested() {
    return stopRequested.load(std::memory_order_relaxed) != 0;
}
