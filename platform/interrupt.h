// Interruption of the command line: Ctrl-C, SIGTERM, a closed terminal
// (SIGHUP), and on Windows Ctrl-C, Ctrl-Break and closing the console
// window. The handlers only ask the output module to stop; files being
// written then fail their next write and are abandoned by ordinary code, so
// no temporary file stays behind and no target is half-written.
#pragma once

// The exit status of a run cut short, on Linux and on Windows alike.
constexpr int interruptedStatus = 130;

// Installs the handlers, and on Linux ignores SIGPIPE so that a closed pipe
// is a write error that can be reported.
void installInterruptHandlers();
