// The contact sheet of a comparison: the source and its quantisations side
// by side, each tile scaled up by repeating pixels, with a two-line label
// under each drawn in a small built-in bitmap font.
//
// Grid of four columns and two rows: the source, none and ordered on top;
// below them floyd-steinberg and atkinson-boyle, each plain then serpentine.
// Every cell is as wide as the wider of its tile and its label, and there is
// a gap of sheetGap pixels around and between the cells.
#pragma once

#include <cstdint>

constexpr int32_t sheetColumns = 4;
constexpr int32_t sheetRows = 2;
constexpr int32_t sheetGap = 8;
constexpr int32_t sheetLabelChars = 20; // a label line's room, in characters
constexpr int32_t sheetLabelWidth = sheetLabelChars * 12;
constexpr int32_t sheetLabelHeight = 40;
constexpr int64_t sheetMostPixels = int64_t{1} << 27;
constexpr int32_t sheetMostZoom = 256; // the default zoom of a picture one pixel wide

struct SheetLayout {
    int32_t zoom;
    int32_t tileWidth; // the picture's size times the zoom
    int32_t tileHeight;
    int32_t cellWidth;
    int32_t cellHeight;
    int32_t width; // of the whole sheet
    int32_t height;
};

// The zoom when none is asked for: 1, or enough to make a picture narrower
// than 256 pixels at least 256 wide.
int32_t defaultSheetZoom(int32_t pictureWidth);

// The layout for a picture at a zoom of 1 to sheetMostZoom. False when the
// sheet would have more than sheetMostPixels pixels (the layout still holds
// its size, for the message).
bool planSheet(int32_t pictureWidth, int32_t pictureHeight, int32_t zoom, SheetLayout* layout);

// The sheet's RGB pixels (rows from the top), filled with the background;
// owned by the record. Null pixels when the memory cannot be had.
struct ContactSheet {
    SheetLayout layout;
    uint8_t* rgb;
};
ContactSheet allocSheet(const SheetLayout& layout);
void freeSheet(ContactSheet* sheet);

// Draws count picture rows from firstRow on into tile (0 to 6: the source, then the six modes):
// as RGB triples, or as pixel words (least significant byte first) widened
// to 8 bits.
void drawTileRgbRows(ContactSheet* sheet, int32_t tile, int32_t firstRow, int32_t count,
                     const uint8_t* rgb);
void drawTileWordRows(ContactSheet* sheet, int32_t tile, int32_t firstRow, int32_t count,
                      const uint8_t* words);

// Writes the two label lines under a tile, clipped to its cell. The font has
// a to z, 0 to 9, '.', '-', 'E' and the space; anything else is a blank.
void drawTileLabel(ContactSheet* sheet, int32_t tile, const char* firstLine,
                   const char* secondLine);
