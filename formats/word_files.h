// The pixel words in the wrappings firmware takes, beside the RGN/MBR file:
// the raw words alone (to copy into flash or stream to a panel), or C source
// text holding them as an array of uint16_t (to compile in). Either comes in
// either byte order; big-endian words are what SPI panels take when a
// little-endian microcontroller sends its memory out byte by byte.
//
// Both are reproducible: the same picture and choices give the same bytes on
// every build, with no time stamps.
#pragma once

#include "convert/quantise.h"
#include "convert/rgn_writer.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class WordFormat : int32_t { rgn, raw, c };
enum class ByteOrder : int32_t { little, big };

// The format a file name asks for by its extension (any case): .raw and .bin
// raw, .c and .h C text, anything else (.rgn, .mbr, none, standard output)
// RGN/MBR.
WordFormat wordFormatOfName(const std::string& name);

// Whether name is a C identifier that may name the array: letters, digits
// and '_', not starting with a digit, not a keyword of C or C++.
bool isCIdentifier(const std::string& name);

// The array's name when none is given: the file name without folder and
// extension, every other character made '_', "image_" in front when it
// would start with a digit or '_' (or be empty), '_' behind a keyword.
std::string cIdentifierOfFile(const std::string& path);

// Everything the C text says besides the words.
struct CTextDescription {
    std::string name;       // the array; its macros are NAME_WIDTH and NAME_HEIGHT in capitals
    std::string fileName;   // the text's own file name, for the first comment
    std::string sourceName; // the picture's file name without its folder
    std::string modeText;   // the quantisation, as "floyd-steinberg, green compensation on"
    int32_t width = 0;      // set when the picture is known
    int32_t height = 0;
    ByteOrder order;
    bool header; // .h: static const and an include guard; .c: an external definition
};

// What comes before the first word, and after the last.
std::string cTextStart(const CTextDescription& description);
std::string cTextEnd(const CTextDescription& description);

// Appends count words (least significant byte first, as the converter makes
// them), 12 a line. first is the index of the first of them in the picture,
// so that pieces of a picture put one after another make whole lines.
void appendCWords(std::string* text, const uint8_t* words, size_t count, uint64_t first,
                  ByteOrder order);

// Turns count little-endian words into big-endian ones in place.
void swapWordBytes(uint8_t* words, size_t count);

// One file of pixel words as the command line and the page write it.
struct WordFileChoice {
    WordFormat format = WordFormat::rgn;
    ByteOrder order = ByteOrder::little; // raw and C only: RGN/MBR is little-endian
    CTextDescription text{};             // C only
};

// The file named outputPath (its folder is not part of the text) of the
// words that quantisation made from the picture named sourcePath: the C
// text's names and comment follow from them; name, when not empty, names
// the array. The command line and the page describe their files alike.
WordFileChoice describeWordFile(WordFormat format, ByteOrder order, const std::string& name,
                                const Quantisation& quantisation, const std::string& sourcePath,
                                const std::string& outputPath);

// A conversion run's wrapping (convert/rgn_writer.h) for a choice. The
// writer holds what the wrapping keeps between pieces and must outlive the
// run; a C text of a picture without pixels is refused (EINVAL), since C
// has no empty arrays.
struct WordFileWriter {
    WordFileChoice choice;
    uint64_t wordsPut = 0;
    std::string buffer;
};
WordWrapping wordFileWrapping(WordFileWriter* writer);

// The whole file in memory, the same bytes as a run writes: the page's
// download. Empty for a C text without pixels.
std::string wordFileBytes(const WordFileChoice& choice, int32_t width, int32_t height,
                          const uint8_t* words);
