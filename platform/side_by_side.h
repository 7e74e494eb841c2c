// Two pieces of work at once, on the machine's second core where there are
// threads (not in a WebAssembly build without them): runSideBySide runs
// task(first) on the calling thread and task(second) on a thread of its own,
// and returns when both are done. Without threads, or when no thread can be
// started, it runs them one after the other, first first; each piece must
// therefore not wait for the other.
#pragma once

void runSideBySide(void (*task)(void* work), void* first, void* second);
