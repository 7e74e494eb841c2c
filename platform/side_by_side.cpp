#include "platform/side_by_side.h"

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
SideWorker* startSideWorker() {
    return nullptr;
}

void runSideBySide(SideWorker* /*worker*/, void (*task)(void* work), void* first, void* second) {
    task(first);
    task(second);
}

void endSideWorker(SideWorker* /*worker*/) {}
#else
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

struct SideWorker {
    std::mutex lock;
    std::condition_variable changed;
    void (*task)(void* work) = nullptr; // set while a piece waits or runs
    void* work = nullptr;
    bool ending = false;
    std::thread thread;
};

namespace {

void serve(SideWorker* worker) {
    std::unique_lock<std::mutex> guard(worker->lock);
    for (;;) {
        worker->changed.wait(guard, [worker] { return worker->ending || worker->task != nullptr; });
        if (worker->task == nullptr)
            return; // ending, with nothing left to do
        void (*task)(void*) = worker->task;
        void* work = worker->work;
        guard.unlock();
        task(work);
        guard.lock();
        worker->task = nullptr;
        worker->changed.notify_all();
    }
}

} // namespace

SideWorker* startSideWorker() {
    auto* worker = new (std::nothrow) SideWorker;
    if (worker == nullptr)
        return nullptr;
    try {
        worker->thread = std::thread(serve, worker);
    } catch (const std::system_error&) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void runSideBySide(SideWorker* worker, void (*task)(void* work), void* first, void* second) {
    if (worker == nullptr) {
        task(first);
        task(second);
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(worker->lock);
        worker->task = task;
        worker->work = second;
    }
    worker->changed.notify_all();
    task(first);
    std::unique_lock<std::mutex> guard(worker->lock);
    worker->changed.wait(guard, [worker] { return worker->task == nullptr; });
}

void endSideWorker(SideWorker* worker) {
    if (worker == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> guard(worker->lock);
        worker->ending = true;
    }
    worker->changed.notify_all();
    worker->thread.join();
    delete worker;
}
#endif
