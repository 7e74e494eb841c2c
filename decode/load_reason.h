// Why a command-line load failed, or what it warns about. Every text the
// command line shows about reading a picture comes from the one table in
// load_reason.cpp; the dialog keeps its two fixed messages.
#pragma once

#include <string>

enum class LoadReason {
    None,
    // Failures.
    NotRead,          // the compatible decoder refused the file; nothing more is known
    RunLengthBmp,     // compression 1 or 2, refused by the compatible decoder
    TgaWithoutFooter, // no version 2.0 footer, which the compatible decoder requires
    ShortColourTable, // fewer colour-table entries than 2^bits per pixel
    CompatibleOnlyRefuses,
    UnknownFormat,
    UnsupportedBmp,
    UnsupportedTga,
    CutShort,
    DamagedPicture, // the general decoder (PNG, JPEG, GIF) refused the data
    TooManyPixels,
    ResizeTooLarge,
    OutOfMemory,
    // Warnings: the compatible reading differs from the picture in the file.
    BitFieldsIgnored,
    AlphaDropped,
    ShortInfoHeader,
    TgaDepthMisread,
    TgaBottomUp,
    TgaRightToLeft,
};

// The dialog's words for the reason ("Error reading file (not BMP?)"), or
// null for a warning.
const char* loadReasonWords(LoadReason reason);

// The explanation for the user, without the file name.
const char* loadReasonText(LoadReason reason);

// "Error reading file (not BMP?): explanation", or "warning: explanation".
std::string describeLoadReason(LoadReason reason);
