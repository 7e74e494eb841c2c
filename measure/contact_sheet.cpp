#include "measure/contact_sheet.h"

#include "measure/figures.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t background[3] = {48, 48, 48};
constexpr uint8_t ink[3] = {232, 232, 232};
constexpr int32_t glyphScale = 2;
constexpr int32_t glyphAdvance = 6 * glyphScale;
constexpr int32_t lineHeight = 9 * glyphScale;

struct Glyph {
    char c;
    uint8_t rows[7]; // five columns each, the leftmost in bit 4
};

constexpr Glyph glyphs[] = {
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'g', {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'j', {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}},
    {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'q', {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'z', {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
};

const Glyph* glyphOf(char c) {
    const Glyph* end = glyphs + sizeof glyphs / sizeof glyphs[0];
    const Glyph* found = std::find_if(glyphs, end, [c](const Glyph& g) { return g.c == c; });
    return found != end ? found : nullptr;
}

// Top-left corner of a tile's cell: tiles 0 to 2 in the top row, 3 to 6
// below, so that the top row's last cell stays empty.
void cellCorner(const SheetLayout& layout, int32_t tile, int32_t* x, int32_t* y) {
    const int32_t row = tile < 3 ? 0 : 1;
    const int32_t column = tile < 3 ? tile : tile - 3;
    *x = sheetGap + column * (layout.cellWidth + sheetGap);
    *y = sheetGap + row * (layout.cellHeight + sheetGap);
}

uint8_t* pixelAt(const ContactSheet* sheet, int32_t x, int32_t y) {
    return sheet->rgb + (static_cast<size_t>(y) * sheet->layout.width + x) * 3;
}

// Draws one picture row zoom times over; colourAt(x, rgb) gives the 8-bit
// colour of pixel x.
template <typename ColourAt>
void putZoomedRow(ContactSheet* sheet, int32_t tile, int32_t pictureRow, ColourAt colourAt) {
    const SheetLayout& l = sheet->layout;
    int32_t left = 0;
    int32_t top = 0;
    cellCorner(l, tile, &left, &top);
    left += (l.cellWidth - l.tileWidth) / 2;
    uint8_t* first = pixelAt(sheet, left, top + pictureRow * l.zoom);
    uint8_t* out = first;
    const int32_t pictureWidth = l.tileWidth / l.zoom;
    const auto zoom = static_cast<size_t>(l.zoom);
    for (int32_t x = 0; x < pictureWidth; ++x) {
        colourAt(x, out);
        for (size_t z = 1; z < zoom; ++z)
            memcpy(out + 3 * z, out, 3);
        out += 3 * zoom;
    }
    const size_t rowBytes = static_cast<size_t>(l.tileWidth) * 3;
    for (int32_t z = 1; z < l.zoom; ++z)
        memcpy(pixelAt(sheet, left, top + pictureRow * l.zoom + z), first, rowBytes);
}

void drawText(ContactSheet* sheet, int32_t left, int32_t top, int32_t room, const char* text) {
    for (int32_t i = 0; text[i] != '\0' && (i + 1) * glyphAdvance <= room + glyphScale; ++i) {
        const Glyph* g = glyphOf(text[i]);
        if (g == nullptr)
            continue;
        for (int32_t gy = 0; gy < 7 * glyphScale; ++gy)
            for (int32_t gx = 0; gx < 5 * glyphScale; ++gx)
                if ((g->rows[gy / glyphScale] >> (4 - gx / glyphScale) & 1) != 0)
                    memcpy(pixelAt(sheet, left + i * glyphAdvance + gx, top + gy), ink, 3);
    }
}

} // namespace

int32_t defaultSheetZoom(int32_t pictureWidth) {
    if (pictureWidth <= 0 || pictureWidth >= 256)
        return 1;
    return (256 + pictureWidth - 1) / pictureWidth;
}

bool planSheet(int32_t pictureWidth, int32_t pictureHeight, int32_t zoom, SheetLayout* layout) {
    const int64_t tileWidth = int64_t{pictureWidth} * zoom;
    const int64_t tileHeight = int64_t{pictureHeight} * zoom;
    const int64_t cellWidth = tileWidth > sheetLabelWidth ? tileWidth : sheetLabelWidth;
    const int64_t cellHeight = tileHeight + sheetLabelHeight;
    const int64_t width =
        sheetColumns * cellWidth + static_cast<int64_t>(sheetColumns + 1) * sheetGap;
    const int64_t height = sheetRows * cellHeight + static_cast<int64_t>(sheetRows + 1) * sheetGap;
    const bool fits = zoom >= 1 && zoom <= sheetMostZoom && pictureWidth >= 0 &&
                      pictureHeight >= 0 && width <= INT32_MAX && height <= INT32_MAX &&
                      width * height <= sheetMostPixels;
    const auto clip = [](int64_t v) { return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v); };
    *layout = SheetLayout{
        zoom,        clip(tileWidth), clip(tileHeight), clip(cellWidth), clip(cellHeight),
        clip(width), clip(height)};
    return fits;
}

ContactSheet allocSheet(const SheetLayout& layout) {
    const size_t pixels = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.height);
    ContactSheet sheet{layout, static_cast<uint8_t*>(malloc(pixels * 3))};
    if (sheet.rgb != nullptr)
        for (size_t i = 0; i < pixels; ++i)
            memcpy(sheet.rgb + 3 * i, background, 3);
    return sheet;
}

void freeSheet(ContactSheet* sheet) {
    free(sheet->rgb);
    sheet->rgb = nullptr;
}

namespace {

// Rows of bytesPerPixel-byte pixels, each turned into RGB by toRgb.
template <typename ToRgb>
void drawTileRows(ContactSheet* sheet, int32_t tile, int32_t firstRow, int32_t count,
                  const uint8_t* pixels, size_t bytesPerPixel, ToRgb toRgb) {
    const size_t rowBytes =
        static_cast<size_t>(sheet->layout.tileWidth / sheet->layout.zoom) * bytesPerPixel;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* row = pixels + i * rowBytes;
        putZoomedRow(sheet, tile, firstRow + i,
                     [row, bytesPerPixel, toRgb](int32_t x, uint8_t* out) {
                         toRgb(row + bytesPerPixel * static_cast<size_t>(x), out);
                     });
    }
}

} // namespace

void drawTileRgbRows(ContactSheet* sheet, int32_t tile, int32_t firstRow, int32_t count,
                     const uint8_t* rgb) {
    drawTileRows(sheet, tile, firstRow, count, rgb, 3,
                 [](const uint8_t* pixel, uint8_t* out) { memcpy(out, pixel, 3); });
}

void drawTileWordRows(ContactSheet* sheet, int32_t tile, int32_t firstRow, int32_t count,
                      const uint8_t* words) {
    drawTileRows(sheet, tile, firstRow, count, words, 2,
                 [](const uint8_t* word, uint8_t* out) { widenWord(fieldU16(word), out); });
}

void drawTileLabel(ContactSheet* sheet, int32_t tile, const char* firstLine,
                   const char* secondLine) {
    int32_t left = 0;
    int32_t top = 0;
    cellCorner(sheet->layout, tile, &left, &top);
    top += sheet->layout.tileHeight + 6;
    drawText(sheet, left, top, sheet->layout.cellWidth, firstLine);
    drawText(sheet, left, top + lineHeight, sheet->layout.cellWidth, secondLine);
}
