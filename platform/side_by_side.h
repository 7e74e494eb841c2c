// Two pieces of work at once, on the machine's second core where there are
// threads (not in a WebAssembly build without them). A side worker is a
// thread kept for many such pairs; runSideBySide runs task(first) on the
// calling thread and task(second) on the worker, and returns when both are
// done. Without a worker (none could be started, or no threads) it runs them
// one after the other, first first; each piece must therefore not wait for
// the other.
#pragma once

struct SideWorker;

// Null when no thread can be had; runSideBySide then works on its own.
SideWorker* startSideWorker();
void runSideBySide(SideWorker* worker, void (*task)(void* work), void* first, void* second);
// Ends the thread and releases the worker (nothing for null).
void endSideWorker(SideWorker* worker);
