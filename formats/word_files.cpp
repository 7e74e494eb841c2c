#include "formats/word_files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iterator>

namespace {

constexpr uint64_t wordsPerLine = 12;

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string upperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

// The last path component; both separators count, so that a Windows path
// gives the same name on every build.
std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : lowerCase(name.substr(dot));
}

bool isKeyword(const std::string& word) {
    // C99 and C11, then what C++17 adds; a name that is one in either
    // language would not compile in both.
    static const char* const keywords[] = {"auto",
                                           "break",
                                           "case",
                                           "char",
                                           "const",
                                           "continue",
                                           "default",
                                           "do",
                                           "double",
                                           "else",
                                           "enum",
                                           "extern",
                                           "float",
                                           "for",
                                           "goto",
                                           "if",
                                           "inline",
                                           "int",
                                           "long",
                                           "register",
                                           "restrict",
                                           "return",
                                           "short",
                                           "signed",
                                           "sizeof",
                                           "static",
                                           "struct",
                                           "switch",
                                           "typedef",
                                           "union",
                                           "unsigned",
                                           "void",
                                           "volatile",
                                           "while",
                                           "_Alignas",
                                           "_Alignof",
                                           "_Atomic",
                                           "_Bool",
                                           "_Complex",
                                           "_Generic",
                                           "_Imaginary",
                                           "_Noreturn",
                                           "_Static_assert",
                                           "_Thread_local",
                                           "alignas",
                                           "alignof",
                                           "and",
                                           "and_eq",
                                           "asm",
                                           "bitand",
                                           "bitor",
                                           "bool",
                                           "catch",
                                           "char16_t",
                                           "char32_t",
                                           "class",
                                           "compl",
                                           "const_cast",
                                           "constexpr",
                                           "decltype",
                                           "delete",
                                           "dynamic_cast",
                                           "explicit",
                                           "export",
                                           "false",
                                           "friend",
                                           "mutable",
                                           "namespace",
                                           "new",
                                           "noexcept",
                                           "not",
                                           "not_eq",
                                           "nullptr",
                                           "operator",
                                           "or",
                                           "or_eq",
                                           "private",
                                           "protected",
                                           "public",
                                           "reinterpret_cast",
                                           "static_assert",
                                           "static_cast",
                                           "template",
                                           "this",
                                           "thread_local",
                                           "throw",
                                           "true",
                                           "try",
                                           "typeid",
                                           "typename",
                                           "using",
                                           "virtual",
                                           "wchar_t",
                                           "xor",
                                           "xor_eq"};
    return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords);
}

bool isIdentifierChar(char c) {
    return isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// A file name as it may stand in a comment: printable ASCII other than '*'
// and '?' (no end of comment, no trigraph), and the bytes of other
// characters as they are.
std::string commentSafe(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '*' || c == '?')
            c = '_';
    }
    return safe;
}

std::string byteOrderText(ByteOrder order) {
    return order == ByteOrder::big
               ? "big-endian words: each value has its two bytes swapped, so that a\n"
                 "   little-endian processor holds it big-endian in memory and sends the high\n"
                 "   byte first, as SPI panels take it"
               : "little-endian words: each value is the pixel's RGB565 word";
}

void appendHexWord(std::string* text, uint16_t word) {
    static const char digits[] = "0123456789ABCDEF";
    const char hex[6] = {'0',
                         'x',
                         digits[(word >> 12) & 0xF],
                         digits[(word >> 8) & 0xF],
                         digits[(word >> 4) & 0xF],
                         digits[word & 0xF]};
    text->append(hex, sizeof hex);
}

} // namespace

WordFormat wordFormatOfName(const std::string& name) {
    const std::string extension = extensionOf(fileNameOf(name));
    if (extension == ".raw" || extension == ".bin")
        return WordFormat::raw;
    if (extension == ".c" || extension == ".h")
        return WordFormat::c;
    return WordFormat::rgn;
}

bool isCIdentifier(const std::string& name) {
    return !name.empty() && isdigit(static_cast<unsigned char>(name[0])) == 0 &&
           std::all_of(name.begin(), name.end(), isIdentifierChar) && !isKeyword(name);
}

std::string cIdentifierOfFile(const std::string& path) {
    std::string name = fileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !isIdentifierChar(c); }, '_');
    // A leading underscore would take a name that C keeps for itself.
    if (name.empty() || isdigit(static_cast<unsigned char>(name[0])) != 0 || name[0] == '_')
        name = "image_" + name;
    if (isKeyword(name))
        name += '_';
    return name;
}

std::string cTextStart(const CTextDescription& d) {
    const std::string macro = upperCase(d.name);
    const std::string size = macro + "_WIDTH * " + macro + "_HEIGHT";
    std::string text = "/* " + commentSafe(d.fileName) + ": the pixels of " +
                       commentSafe(d.sourceName) + ", " + std::to_string(d.width) + " x " +
                       std::to_string(d.height) + ", as RGB565 words, rows from the top;\n   " +
                       d.modeText + ";\n   " + byteOrderText(d.order) + ". */\n\n";
    if (d.header)
        text += "#ifndef " + macro + "_H\n#define " + macro + "_H\n\n";
    text += "#include <stdint.h>\n\n";
    text += "#define " + macro + "_WIDTH " + std::to_string(d.width) + "\n";
    text += "#define " + macro + "_HEIGHT " + std::to_string(d.height) + "\n\n";
    if (d.header) {
        text += "static const uint16_t " + d.name + "[" + size + "] = {\n";
    } else {
        // The declaration gives the definition external linkage in C++ too,
        // where a const object would otherwise be local to its file.
        text += "extern const uint16_t " + d.name + "[" + size + "];\n";
        text += "const uint16_t " + d.name + "[" + size + "] = {\n";
    }
    return text;
}

std::string cTextEnd(const CTextDescription& d) {
    const uint64_t words = static_cast<uint64_t>(d.width) * static_cast<uint64_t>(d.height);
    std::string text = words % wordsPerLine != 0 ? "\n};\n" : "};\n";
    if (d.header)
        text += "\n#endif\n";
    return text;
}

void appendCWords(std::string* text, const uint8_t* words, size_t count, uint64_t first,
                  ByteOrder order) {
    text->reserve(text->size() + count * 8 + count / wordsPerLine * 5 + 5);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t index = first + i;
        const uint8_t low = words[2 * i];
        const uint8_t high = words[2 * i + 1];
        const auto word = order == ByteOrder::big ? static_cast<uint16_t>((low << 8) | high)
                                                  : static_cast<uint16_t>((high << 8) | low);
        text->append(index % wordsPerLine == 0 ? "    " : " ");
        appendHexWord(text, word);
        text->push_back(',');
        if (index % wordsPerLine == wordsPerLine - 1)
            text->push_back('\n');
    }
}

void swapWordBytes(uint8_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i)
        std::swap(words[2 * i], words[2 * i + 1]);
}

namespace {

bool wordsPassThrough(const WordFileChoice& choice) {
    return choice.format == WordFormat::rgn ||
           (choice.format == WordFormat::raw && choice.order == ByteOrder::little);
}

bool refusesPicture(const WordFileChoice& choice, int32_t width, int32_t height) {
    return choice.format == WordFormat::c && (width == 0 || height == 0);
}

void appendStartBytes(WordFileChoice* choice, int32_t width, int32_t height, std::string* out) {
    if (choice->format == WordFormat::rgn) {
        uint8_t header[rgnHeaderBytes];
        encodeRgnHeader(width, height, header);
        out->append(reinterpret_cast<const char*>(header), sizeof header);
    } else if (choice->format == WordFormat::c) {
        choice->text.width = width;
        choice->text.height = height;
        choice->text.order = choice->order;
        out->append(cTextStart(choice->text));
    }
}

void appendWordBytes(const WordFileChoice& choice, const uint8_t* words, size_t count,
                     uint64_t first, std::string* out) {
    if (choice.format == WordFormat::c) {
        appendCWords(out, words, count, first, choice.order);
        return;
    }
    const size_t start = out->size();
    out->append(reinterpret_cast<const char*>(words), 2 * count);
    if (choice.order == ByteOrder::big && choice.format == WordFormat::raw)
        swapWordBytes(reinterpret_cast<uint8_t*>(&(*out)[start]), count);
}

void appendEndBytes(const WordFileChoice& choice, std::string* out) {
    if (choice.format == WordFormat::c)
        out->append(cTextEnd(choice.text));
}

void putBuffer(OutputFile* file, const std::string& buffer) {
    writeOutputBytes(file, buffer.data(), buffer.size());
}

void putWordFileStart(void* context, OutputFile* file, int32_t width, int32_t height) {
    auto* writer = static_cast<WordFileWriter*>(context);
    writer->wordsPut = 0;
    if (refusesPicture(writer->choice, width, height)) {
        failOutputFile(file, EINVAL);
        return;
    }
    writer->buffer.clear();
    appendStartBytes(&writer->choice, width, height, &writer->buffer);
    putBuffer(file, writer->buffer);
}

void putWordFileWords(void* context, OutputFile* file, const uint8_t* words, size_t count) {
    auto* writer = static_cast<WordFileWriter*>(context);
    if (wordsPassThrough(writer->choice)) {
        writeOutputBytes(file, words, 2 * count);
    } else {
        writer->buffer.clear();
        appendWordBytes(writer->choice, words, count, writer->wordsPut, &writer->buffer);
        putBuffer(file, writer->buffer);
    }
    writer->wordsPut += count;
}

void putWordFileEnd(void* context, OutputFile* file) {
    auto* writer = static_cast<WordFileWriter*>(context);
    writer->buffer.clear();
    appendEndBytes(writer->choice, &writer->buffer);
    putBuffer(file, writer->buffer);
}

} // namespace

WordFileChoice describeWordFile(WordFormat format, ByteOrder order, const std::string& name,
                                const Quantisation& quantisation, const std::string& sourcePath,
                                const std::string& outputPath) {
    WordFileChoice choice;
    choice.format = format;
    choice.order = order;
    if (format != WordFormat::c)
        return choice;
    CTextDescription& text = choice.text;
    text.fileName = fileNameOf(outputPath);
    text.name = name.empty() ? cIdentifierOfFile(text.fileName) : name;
    text.sourceName = fileNameOf(sourcePath);
    text.modeText = std::string("made with --dither ") + ditherMethodName(quantisation.method) +
                    (quantisation.serpentine ? " --serpentine" : "") + " --green-compensation " +
                    (quantisation.greenCompensation ? "on" : "off");
    text.order = order;
    text.header = extensionOf(text.fileName) == ".h";
    return choice;
}

WordWrapping wordFileWrapping(WordFileWriter* writer) {
    return WordWrapping{writer, putWordFileStart, putWordFileWords, putWordFileEnd};
}

std::string wordFileBytes(const WordFileChoice& choice, int32_t width, int32_t height,
                          const uint8_t* words) {
    std::string bytes;
    if (width < 0 || height < 0 || refusesPicture(choice, width, height))
        return bytes;
    WordFileChoice filled = choice;
    appendStartBytes(&filled, width, height, &bytes);
    appendWordBytes(filled, words, static_cast<size_t>(width) * static_cast<size_t>(height), 0,
                    &bytes);
    appendEndBytes(filled, &bytes);
    return bytes;
}
