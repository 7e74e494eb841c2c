#include "platform/interrupt.h"

#include "platform/output_stop.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <initializer_list>
#endif

namespace {

#ifdef _WIN32

BOOL WINAPI onConsoleEvent(DWORD event) {
    requestOutputStop();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // Closing the window ends the process as soon as this returns: give the
    // main thread the time to abandon its files and exit by itself.
    Sleep(4000);
    return TRUE;
}

#else

void onStopSignal(int /*signal*/) {
    requestOutputStop();
}

#endif

} // namespace

void installInterruptHandlers() {
#ifdef _WIN32
    (void)SetConsoleCtrlHandler(onConsoleEvent, TRUE); // without it Ctrl-C just ends the process
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a write blocked on a pipe returns, so the run can end.
    action.sa_flags = 0;
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP})
        (void)sigaction(stopSignal, &action, nullptr); // cannot fail for these signals
    (void)signal(SIGPIPE, SIG_IGN);
#endif
}
