// The words for every reason the core gives (platform/status.h): one table
// for the command line and the page; the dialog keeps its two fixed
// messages.
#pragma once

#include "platform/status.h"

#include <string>

// "Error reading file (not BMP?): explanation", or "warning: explanation".
std::string describeReason(Reason reason);
