#include "decode/reasons.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

constexpr const char* readError = "Error reading file (not BMP?)";
constexpr const char* warning = nullptr;

// words: the command line's prefix (nullptr for a warning); text: the
// explanation there; page: the same explanation in the page's terms, which
// names its controls rather than options (nullptr: the text serves both).
struct ReasonEntry {
    Reason reason;
    const char* words;
    const char* text;
    const char* page;
};

const ReasonEntry reasonTable[] = {
    {Reason::None, warning, "", nullptr},
    {Reason::NotRead, readError, "",
     "the compatible decoder does not read this file; choose Standard under BMP/TGA decoder to try "
     "the standard one"},
    {Reason::RunLengthBmp, readError,
     "run-length compression is not read by the compatible decoder; --decoder standard reads it",
     "run-length compression is not read by the compatible decoder; choose Standard under BMP/TGA "
     "decoder to read it"},
    {Reason::TgaWithoutFooter, readError,
     "a TGA file without the version 2.0 footer is not read by the compatible decoder; "
     "--decoder standard reads it",
     "a TGA file without the version 2.0 footer is not read by the compatible decoder; choose "
     "Standard under BMP/TGA decoder to read it"},
    {Reason::ShortColourTable, readError,
     "the colour table is shorter than the compatible decoder reads; --decoder standard reads it",
     "the colour table is shorter than the compatible decoder reads; choose Standard under BMP/TGA "
     "decoder to read it"},
    {Reason::CompatibleOnlyRefuses, readError,
     "the compatible decoder does not read this kind of file; --decoder standard reads it",
     "the compatible decoder does not read this kind of file; choose Standard under BMP/TGA "
     "decoder to read it"},
    {Reason::UnknownFormat, readError, "not a BMP, TGA, PNG, JPEG, GIF or WebP file", nullptr},
    {Reason::UnsupportedBmp, readError, "a kind of BMP file that is not read", nullptr},
    {Reason::UnsupportedTga, readError, "a kind of TGA file that is not read", nullptr},
    {Reason::CutShort, readError, "the file ends before the picture does", nullptr},
    {Reason::DamagedPicture, readError, "the picture data is damaged", nullptr},
    {Reason::TooManyPixels, readError,
     "the picture has more pixels than the limit; --max-pixels raises it",
     "the picture is larger than the 100-megapixel limit"},
    {Reason::ResizeTooLarge, readError,
     "the resized picture has more pixels than the limit; --max-pixels raises it",
     "the resized picture would be larger than the 100-megapixel limit"},
    {Reason::OutOfMemory, readError, "not enough memory for the picture", nullptr},
    {Reason::TooManyScans, readError,
     "the progressive JPEG has more than 500 scans, more than any encoder writes", nullptr},
    {Reason::TwelveBitJpeg, readError,
     "a JPEG with 12-bit samples is not read; save it with 8-bit samples", nullptr},
    {Reason::LosslessJpeg, readError, "a lossless JPEG is not read; save it as PNG", nullptr},
    {Reason::UnsupportedJpeg, readError,
     "a kind of JPEG that is not read (hierarchical or another rare coding); save it as a "
     "baseline or progressive JPEG",
     nullptr},
    {Reason::TiffFile, readError, "TIFF is not read; save it as PNG", nullptr},
    {Reason::HeifFile, readError, "HEIC and AVIF are not read; save it as PNG or JPEG", nullptr},
    {Reason::PsdFile, readError, "a Photoshop document is not read; export it as PNG", nullptr},
    {Reason::IconFile, readError, "ICO and CUR icons are not read; save the icon as PNG", nullptr},
    {Reason::PdfFile, readError, "PDF is not read; export the page as PNG", nullptr},
    {Reason::SvgFile, readError, "SVG drawings are not read; export it as PNG", nullptr},
    {Reason::Jpeg2000File, readError, "JPEG 2000 is not read; save it as PNG", nullptr},
    {Reason::JpegXlFile, readError, "JPEG XL is not read; save it as PNG or JPEG", nullptr},
    {Reason::QoiFile, readError, "QOI is not read; save it as PNG", nullptr},
    {Reason::BitFieldsIgnored, warning,
     "the bit-field masks are not the fixed layout the compatible decoder assumes, so its "
     "colours are wrong; --decoder standard applies the masks",
     "the bit-field masks are not the fixed layout the compatible decoder assumes, so its colours "
     "are wrong; Standard under BMP/TGA decoder applies the masks"},
    {Reason::AlphaDropped, warning,
     "the compatible decoder drops the alpha channel; --decoder standard lays the picture over "
     "the background",
     "the compatible decoder drops the alpha channel; Standard under BMP/TGA decoder lays the "
     "picture over the background"},
    {Reason::ShortInfoHeader, warning,
     "the information header is shorter than 40 bytes (OS/2), which the compatible decoder "
     "misreads; --decoder standard reads it",
     "the information header is shorter than 40 bytes (OS/2), which the compatible decoder "
     "misreads; Standard under BMP/TGA decoder reads it"},
    {Reason::TgaDepthMisread, warning,
     "the compatible decoder takes 3 bytes per true-colour pixel and 1 per other pixel, not this "
     "file's pixel depth; --decoder standard reads it",
     "the compatible decoder takes 3 bytes per true-colour pixel and 1 per other pixel, not this "
     "file's pixel depth; Standard under BMP/TGA decoder reads it"},
    {Reason::TgaBottomUp, warning,
     "rows stored bottom-up come out upside down from the compatible decoder; --decoder standard "
     "turns them",
     "rows stored bottom-up come out upside down from the compatible decoder; Standard under "
     "BMP/TGA decoder turns them"},
    {Reason::TgaRightToLeft, warning,
     "rows stored right-to-left come out mirrored from the compatible decoder; --decoder standard "
     "turns them",
     "rows stored right-to-left come out mirrored from the compatible decoder; Standard under "
     "BMP/TGA decoder turns them"},
    {Reason::JpegStrayBytes, warning,
     "the JPEG file has stray bytes between its parts; every pixel was read", nullptr},
    {Reason::ColourProfileUnreadable, warning,
     "the embedded colour profile is damaged or too large to use, so the stored colours are "
     "taken as sRGB",
     nullptr},
    {Reason::ColourProfileMismatch, warning,
     "the embedded colour profile is not for this picture's colours (RGB, or grey for a grey "
     "picture), so the stored colours are taken as sRGB",
     nullptr},
    {Reason::ColourChunksUnusable, warning,
     "the gAMA or cHRM values are out of range, so the stored colours are taken as sRGB", nullptr},
};

const ReasonEntry& entryFor(Reason reason) {
    const auto* found = std::find_if(std::begin(reasonTable), std::end(reasonTable),
                                     [reason](const ReasonEntry& e) { return e.reason == reason; });
    return found == std::end(reasonTable) ? reasonTable[0] : *found;
}

} // namespace

std::string describeReason(Reason reason) {
    const ReasonEntry& entry = entryFor(reason);
    if (entry.words == nullptr)
        return std::string("warning: ") + entry.text;
    if (entry.text[0] == '\0')
        return entry.words;
    return std::string(entry.words) + ": " + entry.text;
}

std::string describeReasonForPage(Reason reason) {
    const ReasonEntry& entry = entryFor(reason);
    std::string text = entry.page != nullptr ? entry.page : entry.text;
    if (entry.words == nullptr)
        return "Warning: " + text;
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}
