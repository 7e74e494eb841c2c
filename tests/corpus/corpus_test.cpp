// The shared corpus of real BMP and TGA files, run through the loader and
// the conversion under the sanitizers. Every file must load or fail cleanly;
// the table below says which outcome each file must have and, where the
// decoded picture differs from the reference decode in the manifest, why.
//
// The reference hash is over RGB rows from the picture's top. The loader's
// BMP rows already come top first; TGA rows come in file order, so a
// bottom-left-origin TGA is compared after flipping its rows.
#include "corpus_support.h"

#include "convert/convert.h"
#include "decode/decoders.h"
#include "image/image.h"
#include "prepare/prepare.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>

namespace {

enum Outcome {
    Match,             // loads; rows as delivered equal the reference
    MatchFlipped,      // loads; rows equal the reference bottom to top
    MatchWidened,      // 16-bit 5-5-5: equal once each 5-bit field v is widened to v*255/31
    Differs,           // loads with the reference's size, but other pixels (by design)
    LoadsUnreferenced, // loads; the reference decoder refused the file
    Refused,           // the loader fails cleanly
};

// What --decoder standard gives: by default the reference picture, or a
// refusal where the reference decoder refused too.
enum StandardOutcome {
    AsReference,
    StandardDiffers,      // loads, other pixels than the reference (why says)
    StandardUnreferenced, // loads; the reference decoder refused the file
    StandardRefused,      // refused although the reference decoder reads it
};

struct Expectation {
    const char* path;
    Outcome outcome;
    const char* why;
    StandardOutcome standard = AsReference;
    const char* standardWhy = "";
};

// Why a file's outcome is what it is.
const char* const none = "";
const char* const runLength = "run-length compression (1 and 2) is refused";
const char* const otherCompression = "compression other than 0 and 3 (JPEG, PNG, RLE24, "
                                     "alpha bit fields) is refused";
const char* const bmpDepth = "bits per pixel other than 1, 4, 8, 16, 24, 32 are refused";
const char* const negativeWidth = "a negative width is refused";
const char* const oversizeClaim = "width x height x 3 does not fit a signed 32-bit size";
const char* const truncated = "the pixel data is cut short";
const char* const os2Header = "the 12-byte OS/2 header is read as the 40-byte one: its 16-bit "
                              "sizes make nonsense of the depth";
const char* const fixed555 = "16-bit pixels are always 5-5-5; 5-6-5 masks are not applied";
const char* const masksIgnored16 = "bit-field masks are not applied: 16-bit pixels are 5-5-5";
const char* const bitFields32 = "compression 3 at 32 bits always drops the first byte and reads "
                                "blue, green, red, whatever the masks say";
const char* const indexPastColours = "indices past the colours used select the table entries "
                                     "that follow, read from the file like the others";
const char* const laterHeader = "only the first 40 bytes of the info header are read; its size "
                                "only locates the colour table";
const char* const coloursUsedIgnored = "the colours-used field is ignored: the table always has "
                                       "2^bits entries";
const char* const huffman = "compression 3 is accepted at every depth, so this 1-bit Huffman "
                            "file decodes as uncompressed rows";
const char* const noFooter = "no version 2.0 footer: refused whatever the header says";
const char* const colourMapEntrySize = "colour-map entries other than 24 bits are refused";
const char* const alpha32 = "32-bit pixels are taken 3 bytes at a time, so the alpha bytes "
                            "shift the colours";
const char* const sixteenBit = "16-bit values (grey with alpha, or 5-5-5 colour) are taken as "
                               "1 or 3 bytes";
const char* const sixteenBitShort = "16-bit colour taken as 3 bytes per pixel: the file is "
                                    "shorter than width x height x 3";
const char* const runLength32 = "32-bit run-length values taken as 3 bytes put the packets out "
                                "of step; the data ends before the rows are full";
const char* const packetClipped = "a run-length packet never continues into the next row";

// Why the standard reader's picture is not the reference's.
const char* const badRunLength = "damaged run-length data is read as far as it makes sense; the "
                                 "reference stops elsewhere";
const char* const blackPastTable = "indices past the colour table are black";
const char* const runLength4 = "4-bit run-length data: this reading equals the file's "
                               "uncompressed twin, pal4.bmp; the reference's does not";
const char* const skippedPixels = "pixels that the runs skip take colour 0 of the table";
const char* const widened16 = "5-bit TGA fields are widened by repeating their bits; the "
                              "reference rounds some values one step away";

const Expectation expectations[] = {
    {"bmp/bad/badbitcount.bmp", Refused, bmpDepth},
    {"bmp/bad/badbitssize.bmp", Match, none},
    {"bmp/bad/baddens1.bmp", Match, none},
    {"bmp/bad/baddens2.bmp", Match, none},
    {"bmp/bad/badfilesize.bmp", Match, none},
    {"bmp/bad/badheadersize.bmp", LoadsUnreferenced, laterHeader},
    {"bmp/bad/badpalettesize.bmp", LoadsUnreferenced, coloursUsedIgnored},
    {"bmp/bad/badplanes.bmp", Match, none},
    {"bmp/bad/badrle.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badrle4.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badrle4bis.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badrle4ter.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badrlebis.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badrleter.bmp", Refused, runLength, StandardDiffers, badRunLength},
    {"bmp/bad/badwidth.bmp", Refused, negativeWidth},
    {"bmp/bad/pal8badindex.bmp", Differs, indexPastColours, StandardDiffers, blackPastTable},
    {"bmp/bad/reallybig.bmp", Refused, oversizeClaim},
    {"bmp/bad/rgb16-880.bmp", LoadsUnreferenced, masksIgnored16},
    {"bmp/bad/rletopdown.bmp", Refused, runLength},
    {"bmp/bad/shortfile.bmp", Refused, truncated},
    {"bmp/good/pal1.bmp", Match, none},
    {"bmp/good/pal1bg.bmp", Match, none},
    {"bmp/good/pal1wb.bmp", Match, none},
    {"bmp/good/pal4.bmp", Match, none},
    {"bmp/good/pal4gs.bmp", Match, none},
    {"bmp/good/pal4rle.bmp", Refused, runLength, StandardDiffers, runLength4},
    {"bmp/good/pal8-0.bmp", Match, none},
    {"bmp/good/pal8.bmp", Match, none},
    {"bmp/good/pal8gs.bmp", Match, none},
    {"bmp/good/pal8nonsquare.bmp", Match, none},
    {"bmp/good/pal8os2.bmp", Refused, os2Header},
    {"bmp/good/pal8rle.bmp", Refused, runLength},
    {"bmp/good/pal8topdown.bmp", Match, none},
    {"bmp/good/pal8v4.bmp", Match, none},
    {"bmp/good/pal8v5.bmp", Match, none},
    {"bmp/good/pal8w124.bmp", Match, none},
    {"bmp/good/pal8w125.bmp", Match, none},
    {"bmp/good/pal8w126.bmp", Match, none},
    {"bmp/good/rgb16-565.bmp", Differs, fixed555},
    {"bmp/good/rgb16-565pal.bmp", Differs, fixed555},
    {"bmp/good/rgb16.bmp", MatchWidened, none},
    {"bmp/good/rgb16bfdef.bmp", MatchWidened, none},
    {"bmp/good/rgb24.bmp", Match, none},
    {"bmp/good/rgb24pal.bmp", Match, none},
    {"bmp/good/rgb32.bmp", Match, none},
    {"bmp/good/rgb32bf.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/good/rgb32bfdef.bmp", Differs, bitFields32},
    {"bmp/questionable/pal1huffmsb.bmp", LoadsUnreferenced, huffman},
    {"bmp/questionable/pal1p1.bmp", Match, none},
    {"bmp/questionable/pal2.bmp", Refused, bmpDepth},
    {"bmp/questionable/pal2color.bmp", Refused, bmpDepth},
    {"bmp/questionable/pal4rlecut.bmp", Refused, runLength, StandardDiffers, skippedPixels},
    {"bmp/questionable/pal4rletrns.bmp", Refused, runLength, StandardDiffers, skippedPixels},
    {"bmp/questionable/pal8offs.bmp", Match, none},
    {"bmp/questionable/pal8os2-hs.bmp", Refused, os2Header},
    {"bmp/questionable/pal8os2-sz.bmp", Refused, os2Header},
    {"bmp/questionable/pal8os2sp.bmp", Refused, os2Header},
    {"bmp/questionable/pal8os2v2-16.bmp", LoadsUnreferenced, laterHeader},
    {"bmp/questionable/pal8os2v2-40sz.bmp", Match, none},
    {"bmp/questionable/pal8os2v2-sz.bmp", Match, none},
    {"bmp/questionable/pal8os2v2.bmp", Match, none},
    {"bmp/questionable/pal8oversizepal.bmp", LoadsUnreferenced, coloursUsedIgnored},
    {"bmp/questionable/pal8rlecut.bmp", Refused, runLength, StandardDiffers, skippedPixels},
    {"bmp/questionable/pal8rletrns.bmp", Refused, runLength, StandardDiffers, skippedPixels},
    {"bmp/questionable/rgb16-231.bmp", LoadsUnreferenced, masksIgnored16},
    {"bmp/questionable/rgb16-3103.bmp", LoadsUnreferenced, masksIgnored16},
    {"bmp/questionable/rgb16faketrns.bmp", MatchWidened, none},
    {"bmp/questionable/rgb24jpeg.bmp", Refused, otherCompression},
    {"bmp/questionable/rgb24largepal.bmp", Match, none},
    {"bmp/questionable/rgb24lprof.bmp", Match, none},
    {"bmp/questionable/rgb24png.bmp", Refused, otherCompression},
    {"bmp/questionable/rgb24prof.bmp", Match, none},
    {"bmp/questionable/rgb24prof2.bmp", Match, none},
    {"bmp/questionable/rgb24rle24.bmp", Refused, otherCompression},
    {"bmp/questionable/rgb32-111110.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgb32-7187.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgb32-xbgr.bmp", Match, none},
    {"bmp/questionable/rgb32fakealpha.bmp", Match, none},
    {"bmp/questionable/rgb32h52.bmp", LoadsUnreferenced, laterHeader},
    {"bmp/questionable/rgba16-1924.bmp", LoadsUnreferenced, masksIgnored16},
    {"bmp/questionable/rgba16-4444.bmp", LoadsUnreferenced, masksIgnored16},
    {"bmp/questionable/rgba16-5551.bmp", MatchWidened, none},
    {"bmp/questionable/rgba32-1.bmp", Differs, bitFields32},
    {"bmp/questionable/rgba32-1010102.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgba32-2.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgba32-61754.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgba32-81284.bmp", LoadsUnreferenced, bitFields32},
    {"bmp/questionable/rgba32abf.bmp", Refused, otherCompression},
    {"bmp/questionable/rgba32h56.bmp", LoadsUnreferenced, laterHeader},
    {"bmp/questionable/rgba64.bmp", Refused, bmpDepth},
    {"tga/ftrvxmtrx/monochrome16_top_left.tga", Differs, sixteenBit},
    {"tga/ftrvxmtrx/monochrome16_top_left_rle.tga", Differs, sixteenBit},
    {"tga/ftrvxmtrx/monochrome8_bottom_left.tga", MatchFlipped, none},
    {"tga/ftrvxmtrx/monochrome8_bottom_left_rle.tga", MatchFlipped, none},
    {"tga/ftrvxmtrx/rgb24_bottom_left_rle.tga", MatchFlipped, none},
    {"tga/ftrvxmtrx/rgb24_top_left.tga", Match, none},
    {"tga/ftrvxmtrx/rgb24_top_left_colormap.tga", Refused, noFooter},
    {"tga/ftrvxmtrx/rgb32_bottom_left.tga", Differs, alpha32},
    {"tga/ftrvxmtrx/rgb32_top_left_rle.tga", Refused, runLength32},
    {"tga/ftrvxmtrx/rgb32_top_left_rle_colormap.tga", Refused, colourMapEntrySize},
    {"tga/image-rs-regression/bad-color-map.tga", Refused, noFooter},
    {"tga/image-rs-regression/flip-zero-height.tga", Refused, noFooter},
    {"tga/image-rs-regression/flip-zero-height2.tga", Refused, noFooter},
    {"tga/image-rs-regression/orientation-zero-width.tga", Refused, noFooter},
    {"tga/image-rs-regression/overfull-image.tga", Refused, noFooter},
    {"tga/image-rs-regression/sixteen-bit-gray-colormap.tga", Refused, noFooter},
    {"tga/image-rs-regression/sixteen-bit-gray-colormap2.tga", Refused, noFooter},
    {"tga/image-rs-regression/slice-copy-length.tga", Refused, noFooter},
    {"tga/image-rs/b5-attrib.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/image-rs/b5-cmap.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/image-rs/b5-noattrib.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/image-rs/b5-unused-cmap.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/image-rs/black_white.tga", MatchFlipped, none},
    {"tga/image-rs/bottom_left.tga", Refused, noFooter},
    {"tga/image-rs/bottom_right.tga", Refused, noFooter},
    {"tga/image-rs/cmap_offset.tga", Refused, noFooter},
    {"tga/image-rs/top_left.tga", Refused, noFooter},
    {"tga/image-rs/top_right.tga", Refused, noFooter},
    {"tga/pillow-common/1x1_l_bl_raw.tga", MatchFlipped, none},
    {"tga/pillow-common/1x1_l_bl_rle.tga", MatchFlipped, none},
    {"tga/pillow-common/1x1_l_tl_raw.tga", Match, none},
    {"tga/pillow-common/1x1_l_tl_rle.tga", Match, none},
    {"tga/pillow-common/200x32_l_bl_raw.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_l_bl_rle.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_l_tl_raw.tga", Match, none},
    {"tga/pillow-common/200x32_l_tl_rle.tga", Match, none},
    {"tga/pillow-common/200x32_la_bl_raw.tga", Differs, sixteenBit},
    {"tga/pillow-common/200x32_la_bl_rle.tga", Differs, sixteenBit},
    {"tga/pillow-common/200x32_la_tl_raw.tga", Differs, sixteenBit},
    {"tga/pillow-common/200x32_la_tl_rle.tga", Differs, sixteenBit},
    {"tga/pillow-common/200x32_p_bl_raw.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_p_bl_rle.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_p_tl_raw.tga", Match, none},
    {"tga/pillow-common/200x32_p_tl_rle.tga", Match, none},
    {"tga/pillow-common/200x32_rgb_bl_raw.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_rgb_bl_rle.tga", MatchFlipped, none},
    {"tga/pillow-common/200x32_rgb_tl_raw.tga", Match, none},
    {"tga/pillow-common/200x32_rgb_tl_rle.tga", Match, none},
    {"tga/pillow-common/200x32_rgba_bl_raw.tga", Differs, alpha32},
    {"tga/pillow-common/200x32_rgba_bl_rle.tga", Differs, alpha32},
    {"tga/pillow-common/200x32_rgba_tl_raw.tga", Differs, alpha32},
    {"tga/pillow-common/200x32_rgba_tl_rle.tga", Differs, alpha32},
    {"tga/pillow-misc/200x32_p_bl_raw_origin.tga", MatchFlipped, none},
    {"tga/pillow-misc/cross_scan_line.tga", Differs, packetClipped},
    {"tga/pillow-misc/cross_scan_line_truncated.tga", Refused, noFooter},
    {"tga/pillow-misc/la.tga", Differs, sixteenBit},
    {"tga/pillow-misc/p_16.tga", Refused, colourMapEntrySize},
    {"tga/pillow-misc/p_8.tga", Refused, noFooter},
    {"tga/pillow-misc/rgb32rle.tga", Differs, alpha32},
    {"tga/pillow-misc/rgb32rle_bottom_right.tga", Differs, alpha32},
    {"tga/pillow-misc/rgb32rle_top_right.tga", Differs, alpha32},
    {"tga/pillow-misc/rgba16.tga", Differs, sixteenBit, StandardDiffers, widened16},
    {"tga/pillow-misc/tga_id_field.tga", MatchFlipped, none},
    {"tga/tinytga/chequerboard-rle-topleft.tga", Match, none},
    {"tga/tinytga/chequerboard-uncompressed-topleft.tga", Match, none},
    {"tga/tinytga/chessboard_4px_raw.tga", Match, none},
    {"tga/tinytga/chessboard_4px_rle.tga", Match, none},
    {"tga/tinytga/chessboard_raw.tga", Match, none},
    {"tga/tinytga/chessboard_rle.tga", Match, none},
    {"tga/tinytga/chessboard_uncompressed.tga", Match, none},
    {"tga/tinytga/error_color_map.tga", Refused, noFooter},
    {"tga/tinytga/error_no_image_data.tga", Refused, noFooter},
    {"tga/tinytga/error_truncated_image_data.tga", Refused, noFooter},
    {"tga/tinytga/image_id.tga", Refused, noFooter},
    {"tga/tinytga/issue_216_compressed.tga", Differs, alpha32},
    {"tga/tinytga/issue_216_uncompressed.tga", Refused, noFooter},
    {"tga/tinytga/logo_type10_16bpp_bl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type10_16bpp_tl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type10_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type10_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type11_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type11_tl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type1_16bpp_bl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type1_16bpp_tl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type1_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type1_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type2_16bpp_bl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type2_16bpp_tl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type2_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type2_24bpp_br.tga", Refused, noFooter},
    {"tga/tinytga/logo_type2_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type2_24bpp_tr.tga", Refused, noFooter},
    {"tga/tinytga/logo_type3_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type3_tl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type9_16bpp_bl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type9_16bpp_tl.tga", Refused, noFooter, StandardDiffers, widened16},
    {"tga/tinytga/logo_type9_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/logo_type9_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/rust-rle-bw-bottomleft.tga", Differs, alpha32},
    {"tga/tinytga/rust-rle-bw-topleft.tga", Differs, alpha32},
    {"tga/tinytga/rust-uncompressed-bw-bottomleft.tga", Differs, alpha32},
    {"tga/tinytga/rust-uncompressed-bw-topleft.tga", Differs, alpha32},
    {"tga/tinytga/type10_16bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type10_16bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type10_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type10_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type11_bl.tga", Refused, noFooter},
    {"tga/tinytga/type11_tl.tga", Refused, noFooter},
    {"tga/tinytga/type1_16bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type1_16bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type1_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type1_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type2_16bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type2_16bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type2_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type2_24bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type3_bl.tga", Refused, noFooter},
    {"tga/tinytga/type3_tl.tga", Refused, noFooter},
    {"tga/tinytga/type9_16bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type9_16bpp_tl.tga", Refused, noFooter},
    {"tga/tinytga/type9_24bpp_bl.tga", Refused, noFooter},
    {"tga/tinytga/type9_24bpp_tl.tga", Refused, noFooter},
    {"tga/truevision/cbw8.tga", MatchFlipped, none},
    {"tga/truevision/ccm8.tga", Refused, colourMapEntrySize},
    {"tga/truevision/ctc16.tga", Differs, sixteenBit},
    {"tga/truevision/ctc24.tga", MatchFlipped, none},
    {"tga/truevision/ctc32.tga", Differs, alpha32},
    {"tga/truevision/ubw8.tga", MatchFlipped, none},
    {"tga/truevision/ucm8.tga", Refused, colourMapEntrySize},
    {"tga/truevision/utc16.tga", Refused, sixteenBitShort},
    {"tga/truevision/utc24.tga", MatchFlipped, none},
    {"tga/truevision/utc32.tga", Differs, alpha32},
};

std::string fullPath(const Expectation& e) {
    return corpusDirectory() + "/" + e.path;
}

bool isImagePath(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = path.substr(dot);
    return ext == ".bmp" || ext == ".tga";
}

std::string hashOf(const Bytes& rgb) {
    return sha256Hex(rgb.data(), rgb.size());
}

Bytes widenFiveBitFields(const Bytes& rgb) {
    Bytes out(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i)
        out[i] = static_cast<uint8_t>((rgb[i] >> 3) * 255 / 31);
    return out;
}

// The decoded picture in the reference's row order and channel widening.
Bytes asReference(const Decoded& d, Outcome outcome) {
    switch (outcome) {
    case MatchFlipped:
        return flipRows(d.rgb, d.width, d.height);
    case MatchWidened:
        return widenFiveBitFields(d.rgb);
    default:
        return d.rgb;
    }
}

// The same file behind a prefix of unrelated bytes, the stream positioned
// after it: every offset is counted from the image start, so the result must
// be the same.
Decoded decodeBehindPrefix(const std::string& path) {
    Decoded result;
    const Bytes file = readFileBytes(path);
    const Bytes prefix(37, 0xC3);
    FILE* stream = tmpfile();
    if (stream == nullptr)
        return result;
    fwrite(prefix.data(), 1, prefix.size(), stream);
    fwrite(file.data(), 1, file.size(), stream);
    fseek(stream, static_cast<long>(prefix.size()), SEEK_SET);
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    fclose(stream);
    if (pixels != nullptr) {
        result.loaded = true;
        result.width = width;
        result.height = height;
        result.rgb.assign(pixels, pixels + static_cast<size_t>(width) * height * 3);
        free(pixels);
    }
    return result;
}

uint16_t plainWord(const uint8_t* rgb) {
    return static_cast<uint16_t>(((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3));
}

// Converts in every mode; checks the plain words against the 8-bit rule
// and the written file's length and leading words.
void checkConversion(const Decoded& d) {
    RgbImage image{d.width, d.height, const_cast<uint8_t*>(d.rgb.data())};
    const Bytes one(1, 0);
    if (d.rgb.empty())
        image.pixels = const_cast<uint8_t*>(one.data());
    for (DitherMethod method :
         {DitherMethod::none, DitherMethod::floydSteinberg, DitherMethod::atkinsonBoyle}) {
        int32_t bytes = -1;
        uint8_t* words = quantiseImage(image, Quantisation{method, false, false}, &bytes);
        ASSERT_NE(words, nullptr) << ditherMethodName(method);
        ASSERT_EQ(bytes, d.width * d.height * 2);
        if (method == DitherMethod::none) {
            for (int32_t i = 0; i < d.width * d.height; ++i) {
                const uint16_t word = static_cast<uint16_t>(words[2 * i] | (words[2 * i + 1] << 8));
                ASSERT_EQ(word, plainWord(&d.rgb[3 * static_cast<size_t>(i)])) << "pixel " << i;
            }
        }
        free(words);
    }
    TempDir dir;
    const std::string target = dir.file("out.rgn");
    ASSERT_TRUE(succeeded(convertImageToFile(target.c_str(), image,
                                             dialogQuantisation(1, ditherFloydSteinbergMode))));
    const Bytes file = readFileBytes(target);
    ASSERT_EQ(file.size(), 48u + 2u * static_cast<size_t>(d.width) * d.height);
    EXPECT_EQ(file[0] | (file[1] << 8), d.width & 0xFFFF);
    EXPECT_EQ(file[4] | (file[5] << 8), d.height & 0xFFFF);
}

// Names the file in test listings rather than dumping the record's bytes.
void PrintTo(const Expectation& e, std::ostream* out) {
    *out << e.path;
}

class CorpusFile : public testing::TestWithParam<Expectation> {};

TEST_P(CorpusFile, LoadsAsListedAndConverts) {
    if (!corpusPresent())
        GTEST_SKIP() << "the image corpus is absent (" << corpusDirectory()
                     << "); corpus tests skipped, not passed";
    const Expectation& e = GetParam();
    static const std::map<std::string, ManifestRow> manifest = readManifest(corpusDirectory());
    const auto row = manifest.find(e.path);
    ASSERT_NE(row, manifest.end()) << "not in the manifest";
    const Decoded d = decodeFile(fullPath(e));
    ASSERT_TRUE(d.opened);
    SCOPED_TRACE(e.why);

    if (e.outcome == Refused) {
        EXPECT_FALSE(d.loaded);
        return;
    }
    ASSERT_TRUE(d.loaded);
    const ManifestRow& ref = row->second;
    if (e.outcome == LoadsUnreferenced) {
        EXPECT_EQ(ref.referenceSha256, "-") << "a reference exists: list the file as matching";
    } else {
        EXPECT_EQ(d.width, ref.referenceWidth);
        EXPECT_EQ(d.height, ref.referenceHeight);
        const std::string hash = hashOf(asReference(d, e.outcome));
        if (e.outcome == Differs) {
            EXPECT_NE(hash, ref.referenceSha256) << "matches the reference: list it as Match";
            EXPECT_NE(hashOf(flipRows(d.rgb, d.width, d.height)), ref.referenceSha256);
        } else {
            EXPECT_EQ(hash, ref.referenceSha256);
        }
    }

    const Decoded shifted = decodeBehindPrefix(fullPath(e));
    ASSERT_TRUE(shifted.loaded) << "fails when the image starts past byte 0";
    EXPECT_EQ(shifted.width, d.width);
    EXPECT_EQ(shifted.height, d.height);
    EXPECT_TRUE(shifted.rgb == d.rgb) << "decodes differently when the image starts past byte 0";

    checkConversion(d);
}

// The standard reader's colour channels, alpha left out as the reference
// leaves it out.
Decoded decodeStandard(const std::string& path) {
    Decoded result;
    const Bytes file = readFileBytes(path);
    RgbaPicture picture{};
    const bool bmp = file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
    const Reason reason =
        bmp ? decodeStandardBmp(file.data(), file.size(), defaultMaxPixels, &picture)
            : decodeStandardTga(file.data(), file.size(), defaultMaxPixels, &picture);
    if (reason != Reason::None)
        return result;
    result.loaded = true;
    result.width = picture.width;
    result.height = picture.height;
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < count; ++i)
        result.rgb.insert(result.rgb.end(), picture.pixels + 4 * i, picture.pixels + 4 * i + 3);
    free(picture.pixels);
    return result;
}

TEST_P(CorpusFile, StandardDecoderReadsAsTheReference) {
    if (!corpusPresent())
        GTEST_SKIP() << "the image corpus is absent (" << corpusDirectory()
                     << "); corpus tests skipped, not passed";
    const Expectation& e = GetParam();
    static const std::map<std::string, ManifestRow> manifest = readManifest(corpusDirectory());
    const ManifestRow& ref = manifest.at(e.path);
    const Decoded d = decodeStandard(fullPath(e));
    SCOPED_TRACE(e.standardWhy);
    const bool referenced = ref.referenceSha256 != "-";
    switch (e.standard) {
    case AsReference: // a file the reference refuses may load or not
        if (referenced) {
            ASSERT_TRUE(d.loaded);
            EXPECT_EQ(d.width, ref.referenceWidth);
            EXPECT_EQ(d.height, ref.referenceHeight);
            EXPECT_EQ(hashOf(d.rgb), ref.referenceSha256);
        }
        break;
    case StandardDiffers:
        ASSERT_TRUE(d.loaded);
        EXPECT_NE(hashOf(d.rgb), ref.referenceSha256) << "matches: list it as AsReference";
        break;
    case StandardUnreferenced:
        EXPECT_TRUE(d.loaded);
        EXPECT_FALSE(referenced);
        break;
    case StandardRefused:
        EXPECT_FALSE(d.loaded);
        EXPECT_TRUE(referenced);
        break;
    }
    if (d.loaded)
        checkConversion(d);
}

std::string testName(const testing::TestParamInfo<Expectation>& info) {
    std::string name;
    for (const char* p = info.param.path; *p != '\0'; ++p)
        name.push_back(isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, testing::ValuesIn(expectations), testName);

// The table and the manifest name the same files, and the figures.
TEST(CorpusTable, ListsEveryImageOfTheManifest) {
    if (!corpusPresent())
        GTEST_SKIP() << "the image corpus is absent (" << corpusDirectory()
                     << "); corpus tests skipped, not passed";
    const std::map<std::string, ManifestRow> manifest = readManifest(corpusDirectory());
    std::set<std::string> listed;
    int counts[Refused + 1] = {};
    for (const Expectation& e : expectations) {
        EXPECT_TRUE(listed.insert(e.path).second) << e.path << " listed twice";
        EXPECT_EQ(manifest.count(e.path), 1u) << e.path << " is not in the manifest";
        ++counts[e.outcome];
    }
    for (const auto& [path, row] : manifest) {
        if (isImagePath(path)) {
            EXPECT_EQ(listed.count(path), 1u) << path << " is missing from the table";
        }
    }
    const int matching = counts[Match] + counts[MatchFlipped] + counts[MatchWidened];
    printf("corpus: %zu files, %d load (%d match the reference, %d differ by design, %d without "
           "reference), %d refused\n",
           listed.size(), static_cast<int>(listed.size()) - counts[Refused], matching,
           counts[Differs], counts[LoadsUnreferenced], counts[Refused]);
}

} // namespace

namespace {

// PngSuite through the general decoder: each valid file gives the RGBA
// pixels that Pillow gives (tests/corpus/pngsuite.tsv); each
// damaged one (x*) is refused.
struct PngReference {
    std::string name;
    int width;
    int height;
    std::string sha256;
    bool colourOnly = false; // hash over red, green, blue; some pixels must be transparent
};

std::vector<PngReference> readPngReferences() {
    std::vector<PngReference> references;
    std::ifstream in(HALVEX_PNGSUITE_REFERENCE);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        PngReference r;
        std::string flag;
        fields >> r.name >> r.width >> r.height >> r.sha256 >> flag;
        r.colourOnly = flag == "colour-only";
        references.push_back(r);
    }
    return references;
}

std::string pngSuiteDirectory() {
    return corpusDirectory() + "/png/pngsuite";
}

TEST(PngSuite, ValidFilesDecodeAsTheReferenceDamagedOnesAreRefused) {
    if (!corpusPresent())
        GTEST_SKIP() << "the image corpus is absent (" << corpusDirectory()
                     << "); corpus tests skipped, not passed";
    const std::vector<PngReference> references = readPngReferences();
    ASSERT_EQ(references.size(), 161u);
    for (const PngReference& r : references) {
        const Bytes file = readFileBytes(pngSuiteDirectory() + "/" + r.name);
        RgbaPicture picture{};
        ASSERT_EQ(decodeGeneral(file.data(), file.size(), defaultMaxPixels, &picture), Reason::None)
            << r.name;
        EXPECT_EQ(picture.width, r.width) << r.name;
        EXPECT_EQ(picture.height, r.height) << r.name;
        const size_t count = static_cast<size_t>(picture.width) * picture.height;
        Bytes compared(picture.pixels, picture.pixels + count * 4);
        if (r.colourOnly) {
            Bytes rgb;
            bool transparent = false;
            for (size_t i = 0; i < count; ++i) {
                rgb.insert(rgb.end(), &compared[4 * i], &compared[4 * i + 3]);
                transparent = transparent || compared[4 * i + 3] == 0;
            }
            EXPECT_TRUE(transparent) << r.name;
            compared = rgb;
        }
        EXPECT_EQ(sha256Hex(compared.data(), compared.size()), r.sha256) << r.name;
        free(picture.pixels);
    }
    for (const char* damaged :
         {"xc1n0g08", "xc9n2c08", "xcrn0g04", "xcsn0g01", "xd0n2c08", "xd3n2c08", "xd9n2c08",
          "xdtn0g01", "xhdn0g08", "xlfn0g04", "xs1n0g01", "xs2n0g01", "xs4n0g01", "xs7n0g01"}) {
        const Bytes file = readFileBytes(pngSuiteDirectory() + "/" + damaged + ".png");
        ASSERT_FALSE(file.empty()) << damaged;
        RgbaPicture picture{};
        EXPECT_NE(decodeGeneral(file.data(), file.size(), defaultMaxPixels, &picture), Reason::None)
            << damaged;
    }
}

} // namespace
