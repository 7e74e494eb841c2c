// GIF through giflib. A GIF file is a header ("GIF87a" or "GIF89a"), the
// logical screen (size, global colour table), then blocks: extensions (a
// graphic control extension gives the next frame's transparent index) and
// frames (position and size on the screen, an optional local colour table,
// interlacing, LZW-coded indices in sub-blocks), up to the trailer ";".
// The first frame is read, as browsers show a still: the screen outside it
// and its transparent pixels have alpha 0, to be laid over the background.
// A frame that reaches past the logical screen widens the picture to hold
// it, as other readers do. A file that ends or breaks inside the frame is
// refused rather than shown with rows missing.
#include "decode/decoders.h"

#include <cstdlib>
#include <cstring>
#include <gif_lib.h>

namespace {

struct GifSource {
    const uint8_t* data;
    size_t size;
    size_t at;
};

int readFromMemory(GifFileType* gif, GifByteType* into, int wanted) {
    auto* source = static_cast<GifSource*>(gif->UserData);
    const size_t left = source->size - source->at;
    const size_t count = static_cast<size_t>(wanted) < left ? static_cast<size_t>(wanted) : left;
    memcpy(into, source->data + source->at, count);
    source->at += count;
    return static_cast<int>(count);
}

// giflib names a read past the end in several ways, depending on where.
Reason reasonFor(int error, const GifSource& source) {
    if (source.at == source.size)
        return Reason::CutShort;
    switch (error) {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_EOF_TOO_SOON:
        return Reason::CutShort;
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return Reason::OutOfMemory;
    default:
        return Reason::DamagedPicture;
    }
}

// Reads the extension whose code has been read; a graphic control
// extension sets the transparent index of the frame that follows.
bool readExtension(GifFileType* gif, int* transparent) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
        GraphicsControlBlock control{};
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
            *transparent = control.TransparentColor;
    }
    while (block != nullptr)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            return false;
    return true;
}

// Passes over extensions up to the first frame's descriptor.
bool findFirstFrame(GifFileType* gif, int* transparent) {
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return false;
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) != GIF_ERROR;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif, transparent))
                return false;
        } else {
            gif->Error = D_GIF_ERR_NO_IMAG_DSCR; // the trailer came before any frame
            return false;
        }
    }
}

void storeRow(const GifPixelType* indices, int count, const ColorMapObject* map, int transparent,
              uint8_t* out) {
    for (int i = 0; i < count; ++i, out += 4) {
        const int index = indices[i];
        if (index == transparent) {
            out[0] = out[1] = out[2] = out[3] = 0;
        } else if (index < map->ColorCount) {
            const GifColorType& c = map->Colors[index];
            out[0] = c.Red, out[1] = c.Green, out[2] = c.Blue, out[3] = 255;
        } else { // an index past the table shows black
            out[0] = out[1] = out[2] = 0, out[3] = 255;
        }
    }
}

// The frame's rows, in the file's order (four passes when interlaced), each
// into its place on the canvas.
bool readFrame(GifFileType* gif, int transparent, const RgbaPicture& canvas, GifPixelType* line) {
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr) {
        gif->Error = D_GIF_ERR_NO_COLOR_MAP;
        return false;
    }
    static const int firstRow[] = {0, 4, 2, 1};
    static const int rowStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int step = frame.Interlace ? rowStep[pass] : 1;
        for (int y = frame.Interlace ? firstRow[pass] : 0; y < frame.Height; y += step) {
            if (DGifGetLine(gif, line, frame.Width) == GIF_ERROR)
                return false;
            const size_t at = (static_cast<size_t>(frame.Top + y) * canvas.width + frame.Left) * 4;
            storeRow(line, frame.Width, map, transparent, canvas.pixels + at);
        }
    }
    return true;
}

Reason decodeOpened(GifFileType* gif, int64_t maxPixels, RgbaPicture* out) {
    if (int64_t{gif->SWidth} * gif->SHeight > maxPixels)
        return Reason::TooManyPixels;
    int transparent = NO_TRANSPARENT_COLOR;
    if (!findFirstFrame(gif, &transparent))
        return reasonFor(gif->Error, *static_cast<const GifSource*>(gif->UserData));
    const GifImageDesc& frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0)
        return Reason::DamagedPicture;
    const int64_t right = int64_t{frame.Left} + frame.Width;
    const int64_t bottom = int64_t{frame.Top} + frame.Height;
    const int64_t width = right > gif->SWidth ? right : gif->SWidth;
    const int64_t height = bottom > gif->SHeight ? bottom : gif->SHeight;
    if (width * height > maxPixels)
        return Reason::TooManyPixels;
    RgbaPicture canvas{static_cast<int32_t>(width), static_cast<int32_t>(height), nullptr};
    canvas.pixels = allocatePixels(canvas.width, canvas.height, true);
    auto* line = static_cast<GifPixelType*>(malloc(static_cast<size_t>(frame.Width)));
    if (canvas.pixels == nullptr || line == nullptr) {
        free(canvas.pixels);
        free(line);
        return Reason::OutOfMemory;
    }
    const bool read = readFrame(gif, transparent, canvas, line);
    free(line);
    if (!read) {
        free(canvas.pixels);
        return reasonFor(gif->Error, *static_cast<const GifSource*>(gif->UserData));
    }
    *out = canvas;
    return Reason::None;
}

} // namespace

Reason decodeGif(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    GifSource source{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, readFromMemory, &error);
    if (gif == nullptr)
        return reasonFor(error, source);
    const Reason reason = decodeOpened(gif, maxPixels, out);
    DGifCloseFile(gif, &error);
    return reason;
}
