// The words for every reason the core gives (platform/status.h): one table
// for the command line and the page; the dialog keeps its two fixed
// messages.
#pragma once

#include "platform/status.h"

#include <string>

// "Error reading file (not BMP?): explanation", or "warning: explanation".
std::string describeReason(Reason reason);

// The page's words for the same reason: the explanation alone, capitalised,
// naming the page's controls instead of command-line options ("choose
// Standard under BMP/TGA decoder"); a warning begins "Warning: ".
std::string describeReasonForPage(Reason reason);
