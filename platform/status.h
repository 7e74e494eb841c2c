// How the core reports a failure, in every room and face: why (a Reason)
// and, where the operating system refused, its error number. A Status whose
// reason is None is success. Reading a picture also warns with reasons;
// the words for every reason are in one table (decode/reasons.h).
#pragma once

#include <cstdint>

enum class Reason : int32_t {
    None,
    // The operating system refused; Status::systemError says why.
    System,
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
    DamagedPicture, // a PNG, JPEG, GIF or WebP decoder refused the data
    TooManyPixels,
    ResizeTooLarge,
    OutOfMemory,
    RgnInconsistent, // an RGN/MBR file that the writer would not have made
    TooManyScans,    // a progressive JPEG with more scans than any encoder writes
    TwelveBitJpeg,
    LosslessJpeg,
    UnsupportedJpeg, // hierarchical or another coding process that is not read
    // Formats recognised by their signature and named in the refusal.
    TiffFile,
    HeifFile, // HEIC or AVIF
    PsdFile,
    IconFile, // ICO or CUR
    PdfFile,
    SvgFile,
    Jpeg2000File,
    JpegXlFile,
    QoiFile,
    // Warnings: the compatible reading differs from the picture in the file.
    BitFieldsIgnored,
    AlphaDropped,
    ShortInfoHeader,
    TgaDepthMisread,
    TgaBottomUp,
    TgaRightToLeft,
    JpegStrayBytes, // the JPEG decoder passed over bytes that lose no pixels
    // Warnings: the colour space the file declares is not applied.
    ColourProfileUnreadable, // lcms refuses the embedded profile, or it is too large
    ColourProfileMismatch,   // not an RGB profile, or a grey one on a picture in colour
    ColourChunksUnusable,    // PNG gAMA or cHRM out of range
};

struct Status {
    Reason reason = Reason::None;
    int systemError = 0; // errno, for Reason::System
};

inline bool succeeded(const Status& status) {
    return status.reason == Reason::None;
}

// A refusal by the operating system; EINTR when a stop was asked for.
inline Status systemFailure(int systemError) {
    return Status{Reason::System, systemError};
}
