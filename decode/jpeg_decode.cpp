// JPEG through libjpeg-turbo. A JPEG file is a run of marker segments: SOF
// (the coding process, sample precision, size, components and their
// sampling), DHT/DAC (Huffman or arithmetic tables), DQT, APPn (JFIF, EXIF,
// ICC profile in APP2, Adobe's colour transform in APP14), then one scan
// (baseline, sequential) or several (progressive), each SOS followed by the
// entropy-coded data, and EOI. Read: 8-bit baseline, extended and
// progressive, Huffman or arithmetic coded, grey, YCbCr/RGB and CMYK/YCCK
// (CMYK taken as Adobe writes it, inverted, and turned into RGB as Pillow
// does). 12-bit and lossless JPEGs are refused by name, as is a progressive
// file of more than 500 scans.
//
// Nothing is passed over silently: a warning that means pixels were lost
// (data ending early, a corrupt entropy-coded segment) refuses the file;
// other warnings (stray bytes between segments) reach the user as warnings.
// libjpeg reports errors by longjmp, so the frame that calls setjmp holds
// plain data only.
#include "decode/decoders.h"

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first, and jerror.h needs
// jpeglib.h's configuration for its arithmetic-coding messages.
#include <jpeglib.h>

#include <jerror.h>

namespace {

constexpr int mostScans = 500;
constexpr int rowsAtOnce = 16;

// The error manager and the progress monitor, with what they found.
struct JpegState {
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    jmp_buf jump;
    Reason refusal;
    bool strayBytes;
    bool rowsDone; // every row is out: a warning now loses nothing
};

JpegState* stateOf(j_common_ptr cinfo) {
    // errors is the first member: libjpeg hands back the pointer it was given.
    return reinterpret_cast<JpegState*>(cinfo->err);
}

Reason refusalFor(const jpeg_error_mgr& errors) {
    const int code = errors.msg_code;
    if (code == JERR_BAD_PRECISION && errors.msg_parm.i[0] == 12)
        return Reason::TwelveBitJpeg;
    if (code == JERR_SOF_UNSUPPORTED) {
        const int marker = errors.msg_parm.i[0];
        const bool lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
        return lossless ? Reason::LosslessJpeg : Reason::UnsupportedJpeg;
    }
    if (code == JERR_OUT_OF_MEMORY)
        return Reason::OutOfMemory;
    if (code == JERR_INPUT_EOF)
        return Reason::CutShort;
    return Reason::DamagedPicture;
}

[[noreturn]] void refuse(j_common_ptr cinfo, Reason reason) {
    JpegState* state = stateOf(cinfo);
    state->refusal = reason;
    longjmp(state->jump, 1); // NOLINT(cert-err52-cpp): libjpeg's way back from an error
}

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    refuse(cinfo, refusalFor(*cinfo->err));
}

// Level -1 is a warning; levels 0 and up are trace messages.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    JpegState* state = stateOf(cinfo);
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
        if (!state->rowsDone)
            refuse(cinfo, Reason::CutShort);
        break;
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        if (!state->rowsDone)
            refuse(cinfo, Reason::DamagedPicture);
        break;
    default:
        break;
    }
    state->strayBytes = true;
}

// Called between the units of input work: each new scan is counted here.
void watchProgress(j_common_ptr cinfo) {
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > mostScans)
        refuse(cinfo, Reason::TooManyScans);
}

void readIccProfile(j_decompress_ptr cinfo, ColourSpace* colour) {
    JOCTET* profile = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(cinfo, &profile, &length) && profile != nullptr)
        colour->iccProfile.assign(profile, profile + length);
    free(profile);
}

// Pillow's CMYK to RGB on Adobe's inverted samples: with c = 255 - stored
// cyan and k = 255 - stored black, red = (255 - k) - c (255 - k) / 255.
void cmykToRgba(uint8_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = pixels + 4 * i;
        const int notBlack = p[3];
        for (int c = 0; c < 3; ++c) {
            const int ink = 255 - p[c];
            const int product = ink * notBlack + 128;
            const int scaled = ((product >> 8) + product) >> 8;
            p[c] = static_cast<uint8_t>(notBlack - scaled);
        }
        p[3] = 255;
    }
}

// One file's decoding, whole or a band of rows at a time. libjpeg jumps
// back to the frame that last called setjmp, so each function that calls
// into it sets its own jump and holds plain data only; the record lives on
// the heap, where the decompression object's pointers into it stay valid
// between calls.
struct JpegReader {
    jpeg_decompress_struct cinfo;
    JpegState state;
    const uint8_t* data;
    size_t size;
    int64_t maxPixels;
    bool cmyk;
    bool started;   // jpeg_start_decompress has run
    Reason failure; // the first failure; every later call returns it
};

JpegReader* newReader(const uint8_t* data, size_t size, int64_t maxPixels) {
    auto* reader = static_cast<JpegReader*>(calloc(1, sizeof(JpegReader)));
    if (reader == nullptr)
        return nullptr;
    reader->cinfo.err = jpeg_std_error(&reader->state.errors);
    reader->state.errors.error_exit = errorExit;
    reader->state.errors.emit_message = emitMessage;
    reader->state.progress.progress_monitor = watchProgress;
    reader->data = data;
    reader->size = size;
    reader->maxPixels = maxPixels;
    reader->failure = Reason::None;
    return reader;
}

// Whether the stray bytes warning was given; then the reader is gone. Safe
// on a decompression object that was never made or made in part.
bool endReader(JpegReader* reader) {
    jpeg_destroy_decompress(&reader->cinfo);
    const bool strayBytes = reader->state.strayBytes;
    free(reader);
    return strayBytes;
}

// The reader's decompression object, or null for want of memory.
bool createDecompress(JpegReader* reader) {
    if (setjmp(reader->state.jump) != 0) // NOLINT(cert-err52-cpp): see longjmp in refuse
        return false;
    jpeg_create_decompress(&reader->cinfo);
    return true;
}

JpegReader* startReader(const uint8_t* data, size_t size, int64_t maxPixels) {
    JpegReader* reader = newReader(data, size, maxPixels);
    if (reader != nullptr && !createDecompress(reader)) {
        endReader(reader);
        return nullptr;
    }
    return reader;
}

// Reads the markers up to the first scan: the size, checked against the
// limit, the colour space and the ICC profile.
Reason readHeader(JpegReader* reader, ColourSpace* colour) {
    j_decompress_ptr cinfo = &reader->cinfo;
    if (setjmp(reader->state.jump) != 0) { // NOLINT(cert-err52-cpp): see longjmp in refuse
        // A frame header that claims too many pixels is the reason, whatever
        // went wrong after it.
        if (int64_t{cinfo->image_width} * cinfo->image_height > reader->maxPixels)
            return reader->failure = Reason::TooManyPixels;
        return reader->failure = reader->state.refusal;
    }
    cinfo->progress = &reader->state.progress;
    jpeg_mem_src(cinfo, reader->data, static_cast<unsigned long>(reader->size));
    if (colour != nullptr)
        jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    if (int64_t{cinfo->image_width} * cinfo->image_height > reader->maxPixels)
        return reader->failure = Reason::TooManyPixels;
    reader->cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    if (colour != nullptr)
        readIccProfile(cinfo, colour);
    return Reason::None;
}

// Starts the decompression with the pixels laid out as given (a
// progressive file's scans are all read here) and decodes the next `count`
// rows into pixels, one after another (width x the layout's bytes a row).
// Errors jump out of it, back to readRows.
void decodeNextRows(JpegReader* reader, J_COLOR_SPACE layout, uint8_t* pixels, JDIMENSION count) {
    j_decompress_ptr cinfo = &reader->cinfo;
    if (!reader->started) {
        cinfo->out_color_space = layout;
        cinfo->dct_method = JDCT_ISLOW;
        cinfo->do_fancy_upsampling = TRUE;
        jpeg_start_decompress(cinfo);
        reader->started = true;
    }
    const size_t rowBytes =
        size_t{cinfo->output_width} * static_cast<size_t>(cinfo->out_color_components);
    const JDIMENSION start = cinfo->output_scanline;
    const JDIMENSION left = cinfo->output_height - start;
    const JDIMENSION end = start + (count < left ? count : left);
    JSAMPROW rows[rowsAtOnce];
    while (cinfo->output_scanline < end) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION band = end - first < rowsAtOnce ? end - first : rowsAtOnce;
        for (JDIMENSION i = 0; i < band; ++i)
            rows[i] = pixels + rowBytes * (first - start + i);
        jpeg_read_scanlines(cinfo, rows, band);
    }
    if (cinfo->output_scanline == cinfo->output_height)
        reader->state.rowsDone = true;
}

Reason readRows(JpegReader* reader, J_COLOR_SPACE layout, uint8_t* pixels, JDIMENSION count) {
    if (reader->failure != Reason::None)
        return reader->failure;
    if (setjmp(reader->state.jump) != 0) // NOLINT(cert-err52-cpp): see longjmp in refuse
        return reader->failure = reader->state.refusal;
    decodeNextRows(reader, layout, pixels, count);
    return Reason::None;
}

Reason decodeWhole(JpegReader* reader, ColourSpace* colour, RgbaPicture* out) {
    Reason reason = readHeader(reader, colour);
    if (reason != Reason::None)
        return reason;
    const auto width = static_cast<int32_t>(reader->cinfo.image_width);
    const auto height = static_cast<int32_t>(reader->cinfo.image_height);
    uint8_t* pixels = allocatePixels(width, height, false);
    if (pixels == nullptr)
        return Reason::OutOfMemory;
    reason = readRows(reader, reader->cmyk ? JCS_CMYK : JCS_EXT_RGBA, pixels,
                      reader->cinfo.image_height);
    if (reason != Reason::None) {
        free(pixels);
        return reason;
    }
    if (reader->cmyk)
        cmykToRgba(pixels, static_cast<size_t>(width) * static_cast<size_t>(height));
    *out = RgbaPicture{width, height, pixels};
    return Reason::None;
}

} // namespace

Reason decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                  ColourSpace* colour, std::vector<Reason>* warnings) {
    if (size > ULONG_MAX)
        return Reason::TooManyPixels;
    JpegReader* reader = startReader(data, size, maxPixels);
    if (reader == nullptr)
        return Reason::OutOfMemory;
    RgbaPicture picture{};
    const Reason reason = decodeWhole(reader, colour, &picture);
    const bool strayBytes = endReader(reader);
    if (reason != Reason::None)
        return reason;
    if (strayBytes && warnings != nullptr)
        warnings->push_back(Reason::JpegStrayBytes);
    *out = picture;
    return Reason::None;
}

struct JpegRows {
    JpegReader* reader;
};

Reason startJpegRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                     JpegRows** rows, int32_t* width, int32_t* height) {
    *rows = nullptr;
    if (size > ULONG_MAX)
        return Reason::TooManyPixels;
    JpegReader* reader = startReader(data, size, maxPixels);
    auto* made = static_cast<JpegRows*>(malloc(sizeof(JpegRows)));
    if (reader == nullptr || made == nullptr) {
        if (reader != nullptr)
            endReader(reader);
        free(made);
        return Reason::OutOfMemory;
    }
    const Reason reason = readHeader(reader, colour);
    if (reason != Reason::None || reader->cmyk) {
        endReader(reader);
        free(made);
        return reason;
    }
    made->reader = reader;
    *width = static_cast<int32_t>(reader->cinfo.image_width);
    *height = static_cast<int32_t>(reader->cinfo.image_height);
    *rows = made;
    return Reason::None;
}

Reason readJpegRows(JpegRows* rows, int32_t count, uint8_t* pixels) {
    return readRows(rows->reader, JCS_EXT_RGB, pixels,
                    count > 0 ? static_cast<JDIMENSION>(count) : 0);
}

void endJpegRows(JpegRows* rows, std::vector<Reason>* warnings) {
    if (rows == nullptr)
        return;
    const bool finished = rows->reader->failure == Reason::None && rows->reader->state.rowsDone;
    if (endReader(rows->reader) && finished && warnings != nullptr)
        warnings->push_back(Reason::JpegStrayBytes);
    free(rows);
}
