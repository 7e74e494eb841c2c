// WebP through libwebp. A WebP file is a RIFF container of form "WEBP":
// either one VP8 (lossy) or VP8L (lossless) chunk, or the extended layout
// (VP8X: canvas size and flags, then ICCP, ANIM/ANMF frames or ALPH with a
// VP8 image, EXIF, XMP). Lossy, lossless and alpha are read; of an animation
// the first frame, placed on a canvas that is transparent outside it, as a
// player shows it before the first blend. ICCP is handed on as the colour
// space. The canvas size is checked against the pixel limit before anything
// is decoded, and a file whose chunks end early is refused as cut short.
#include "decode/decoders.h"

#include <cstdlib>
#include <webp/decode.h>
#include <webp/demux.h>

namespace {

Reason reasonFor(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return Reason::CutShort;
    case VP8_STATUS_OUT_OF_MEMORY:
        return Reason::OutOfMemory;
    default:
        return Reason::DamagedPicture;
    }
}

void readIccProfile(const WebPDemuxer* demux, ColourSpace* colour) {
    WebPChunkIterator chunk{};
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk) != 0)
        colour->iccProfile.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
}

// Decodes the frame's bitstream straight into its place on the canvas.
Reason decodeFrame(const WebPIterator& frame, const RgbaPicture& canvas) {
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0)
        return Reason::DamagedPicture;
    const size_t stride = static_cast<size_t>(canvas.width) * 4;
    const size_t offset =
        static_cast<size_t>(frame.y_offset) * stride + static_cast<size_t>(frame.x_offset) * 4;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = canvas.pixels + offset;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = static_cast<size_t>(canvas.height) * stride - offset;
    const VP8StatusCode status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK ? Reason::None : reasonFor(status);
}

Reason decodeDemuxed(const WebPDemuxer* demux, int64_t maxPixels, RgbaPicture* out,
                     ColourSpace* colour) {
    const auto width = static_cast<int32_t>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
    const auto height = static_cast<int32_t>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
    if (width <= 0 || height <= 0)
        return Reason::DamagedPicture;
    if (int64_t{width} * height > maxPixels)
        return Reason::TooManyPixels;
    WebPIterator frame{};
    if (WebPDemuxGetFrame(demux, 1, &frame) == 0)
        return Reason::DamagedPicture;
    Reason reason = Reason::None;
    RgbaPicture canvas{width, height, allocatePixels(width, height, true)};
    if (canvas.pixels == nullptr)
        reason = Reason::OutOfMemory;
    else if (frame.complete == 0)
        reason = Reason::CutShort;
    else if (frame.x_offset + frame.width > width || frame.y_offset + frame.height > height)
        reason = Reason::DamagedPicture;
    else
        reason = decodeFrame(frame, canvas);
    WebPDemuxReleaseIterator(&frame);
    if (reason != Reason::None) {
        free(canvas.pixels);
        return reason;
    }
    if (colour != nullptr)
        readIccProfile(demux, colour);
    *out = canvas;
    return Reason::None;
}

} // namespace

Reason decodeWebp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                  ColourSpace* colour) {
    // The canvas a header claims is checked first, whatever follows it.
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
        int64_t{features.width} * features.height > maxPixels)
        return Reason::TooManyPixels;
    const WebPData whole{data, size};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    WebPDemuxer* demux = WebPDemuxPartial(&whole, &state);
    if (demux == nullptr || state != WEBP_DEMUX_DONE) {
        WebPDemuxDelete(demux);
        return state == WEBP_DEMUX_PARSE_ERROR ? Reason::DamagedPicture : Reason::CutShort;
    }
    const Reason reason = decodeDemuxed(demux, maxPixels, out, colour);
    WebPDemuxDelete(demux);
    return reason;
}
