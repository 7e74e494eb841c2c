// The stop asked for by an interruption: every file still being written
// fails its next write or commit with EINTR, and is abandoned by ordinary
// code.
#pragma once

// Safe to call from a signal handler.
void requestOutputStop();
bool outputStopRequested();
