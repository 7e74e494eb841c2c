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

// What decodeJpeg hands to the frame that may be jumped back to.
struct JpegJob {
    const uint8_t* data;
    size_t size;
    int64_t maxPixels;
    ColourSpace* colour;
    uint8_t* pixels;
    RgbaPicture picture;
};

void readRows(j_decompress_ptr cinfo, JpegJob* job) {
    const size_t rowBytes = size_t{cinfo->output_width} * 4;
    JSAMPROW rows[rowsAtOnce];
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        for (int i = 0; i < rowsAtOnce; ++i) {
            const JDIMENSION y = first + static_cast<JDIMENSION>(i);
            rows[i] = job->pixels + rowBytes * (y < cinfo->output_height ? y : first);
        }
        const JDIMENSION left = cinfo->output_height - first;
        jpeg_read_scanlines(cinfo, rows, left < rowsAtOnce ? left : rowsAtOnce);
    }
}

// Everything between setjmp and the end of the decoding: plain data only,
// so that a longjmp out of libjpeg skips no destructor.
Reason decodeWithin(jpeg_decompress_struct* cinfo, JpegState* state, JpegJob* job) {
    if (setjmp(state->jump) != 0) { // NOLINT(cert-err52-cpp): see longjmp in refuse
        free(job->pixels);
        job->pixels = nullptr;
        // A frame header that claims too many pixels is the reason, whatever
        // went wrong after it.
        if (int64_t{cinfo->image_width} * cinfo->image_height > job->maxPixels)
            return Reason::TooManyPixels;
        return state->refusal;
    }
    jpeg_create_decompress(cinfo);
    cinfo->progress = &state->progress;
    jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
    if (job->colour != nullptr)
        jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    if (int64_t{cinfo->image_width} * cinfo->image_height > job->maxPixels)
        return Reason::TooManyPixels;
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = TRUE;
    jpeg_start_decompress(cinfo);
    const auto width = static_cast<int32_t>(cinfo->output_width);
    const auto height = static_cast<int32_t>(cinfo->output_height);
    job->pixels = allocatePixels(width, height, false);
    if (job->pixels == nullptr)
        return Reason::OutOfMemory;
    readRows(cinfo, job);
    state->rowsDone = true;
    if (cmyk)
        cmykToRgba(job->pixels, static_cast<size_t>(width) * static_cast<size_t>(height));
    if (job->colour != nullptr)
        readIccProfile(cinfo, job->colour);
    job->picture = RgbaPicture{width, height, job->pixels};
    job->pixels = nullptr;
    return Reason::None;
}

} // namespace

Reason decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                  ColourSpace* colour, std::vector<Reason>* warnings) {
    if (size > ULONG_MAX)
        return Reason::TooManyPixels;
    auto* state = static_cast<JpegState*>(calloc(1, sizeof(JpegState)));
    auto* cinfo = static_cast<jpeg_decompress_struct*>(calloc(1, sizeof(jpeg_decompress_struct)));
    if (state == nullptr || cinfo == nullptr) {
        free(state);
        free(cinfo);
        return Reason::OutOfMemory;
    }
    cinfo->err = jpeg_std_error(&state->errors);
    state->errors.error_exit = errorExit;
    state->errors.emit_message = emitMessage;
    state->progress.progress_monitor = watchProgress;
    JpegJob job{data, size, maxPixels, colour, nullptr, RgbaPicture{}};
    const Reason reason = decodeWithin(cinfo, state, &job);
    jpeg_destroy_decompress(cinfo);
    const bool strayBytes = state->strayBytes;
    free(cinfo);
    free(state);
    if (reason != Reason::None) {
        free(job.pixels);
        return reason;
    }
    if (strayBytes && warnings != nullptr)
        warnings->push_back(Reason::JpegStrayBytes);
    *out = job.picture;
    return Reason::None;
}
