#include "decode/reasons.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr const char* readError = "Error reading file (not BMP?)";
constexpr const char* warning = nullptr;

struct ReasonEntry {
    Reason reason;
    const char* words;
    const char* text;
};

const ReasonEntry reasonTable[] = {
    {Reason::None, warning, ""},
    {Reason::NotRead, readError, ""},
    {Reason::RunLengthBmp, readError,
     "run-length compression is not read by the compatible decoder; --decoder standard reads it"},
    {Reason::TgaWithoutFooter, readError,
     "a TGA file without the version 2.0 footer is not read by the compatible decoder; "
     "--decoder standard reads it"},
    {Reason::ShortColourTable, readError,
     "the colour table is shorter than the compatible decoder reads; --decoder standard reads it"},
    {Reason::CompatibleOnlyRefuses, readError,
     "the compatible decoder does not read this kind of file; --decoder standard reads it"},
    {Reason::UnknownFormat, readError, "not a BMP, TGA, PNG, JPEG or GIF file"},
    {Reason::UnsupportedBmp, readError, "a kind of BMP file that is not read"},
    {Reason::UnsupportedTga, readError, "a kind of TGA file that is not read"},
    {Reason::CutShort, readError, "the file ends before the picture does"},
    {Reason::DamagedPicture, readError, "the picture data is damaged or of a kind not read"},
    {Reason::TooManyPixels, readError,
     "the picture has more pixels than the limit; --max-pixels raises it"},
    {Reason::ResizeTooLarge, readError,
     "the resized picture has more pixels than the limit; --max-pixels raises it"},
    {Reason::OutOfMemory, readError, "not enough memory for the picture"},
    {Reason::BitFieldsIgnored, warning,
     "the bit-field masks are not the fixed layout the compatible decoder assumes, so its "
     "colours are wrong; --decoder standard applies the masks"},
    {Reason::AlphaDropped, warning,
     "the compatible decoder drops the alpha channel; --decoder standard lays the picture over "
     "the background"},
    {Reason::ShortInfoHeader, warning,
     "the information header is shorter than 40 bytes (OS/2), which the compatible decoder "
     "misreads; --decoder standard reads it"},
    {Reason::TgaDepthMisread, warning,
     "the compatible decoder takes 3 bytes per true-colour pixel and 1 per other pixel, not this "
     "file's pixel depth; --decoder standard reads it"},
    {Reason::TgaBottomUp, warning,
     "rows stored bottom-up come out upside down from the compatible decoder; --decoder standard "
     "turns them"},
    {Reason::TgaRightToLeft, warning,
     "rows stored right-to-left come out mirrored from the compatible decoder; --decoder standard "
     "turns them"},
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
