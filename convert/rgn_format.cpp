#include "convert/rgn_format.h"
#include "platform/byte_order.h"

#include <cinttypes>
#include <cstdio>

const RgnHeaderField rgnHeaderFields[rgnHeaderWordCount] = {
    {"width", 0, RgnWordRule::width, 0, RgnWordShown::decimal},
    {"height", 4, RgnWordRule::height, 0, RgnWordShown::decimal},
    {"pixel bytes", 8, RgnWordRule::pixelBytes, 0, RgnWordShown::decimal},
    {"constant at 12", 12, RgnWordRule::fixed, 0x01700020, RgnWordShown::hex8},
    {"constant at 16", 16, RgnWordRule::fixed, 32, RgnWordShown::decimal},
    {"constant at 20", 20, RgnWordRule::fixed, 64, RgnWordShown::decimal},
    {"constant at 24", 24, RgnWordRule::fixed, 0, RgnWordShown::decimal},
    {"bits per pixel", 28, RgnWordRule::fixed, 16, RgnWordShown::decimal},
    {"red mask", 32, RgnWordRule::fixed, 0xF800, RgnWordShown::hex4},
    {"green mask", 36, RgnWordRule::fixed, 0x07E0, RgnWordShown::hex4},
    {"blue mask", 40, RgnWordRule::fixed, 0x001F, RgnWordShown::hex4},
    {"constant at 44", 44, RgnWordRule::fixed, 0, RgnWordShown::decimal},
};

namespace {

int32_t headerWord(const RgnHeaderField& field, int32_t width, int32_t height) {
    switch (field.rule) {
    case RgnWordRule::width:
        return width;
    case RgnWordRule::height:
        return height;
    case RgnWordRule::pixelBytes:
        // Wraps like the 32-bit word it is; callers refuse pictures too large for it.
        return static_cast<int32_t>(static_cast<uint32_t>(width) * static_cast<uint32_t>(height) *
                                    2u);
    case RgnWordRule::fixed:
        break;
    }
    return field.value;
}

} // namespace

void rgnHeaderWords(int32_t width, int32_t height, int32_t words[rgnHeaderWordCount]) {
    for (int32_t i = 0; i < rgnHeaderWordCount; ++i)
        words[i] = headerWord(rgnHeaderFields[i], width, height);
}

void encodeRgnHeader(int32_t width, int32_t height, uint8_t bytes[rgnHeaderBytes]) {
    for (const RgnHeaderField& field : rgnHeaderFields)
        putFieldU32(bytes + field.offset, static_cast<uint32_t>(headerWord(field, width, height)));
}

const char* rgnHeaderFieldName(int32_t index) {
    return index >= 0 && index < rgnHeaderWordCount ? rgnHeaderFields[index].name : "?";
}

void formatRgnHeaderValue(int32_t index, int32_t value, char* text, size_t textSize) {
    const RgnWordShown shown = index >= 0 && index < rgnHeaderWordCount
                                   ? rgnHeaderFields[index].shown
                                   : RgnWordShown::decimal;
    const auto bits = static_cast<uint32_t>(value);
    if (shown == RgnWordShown::hex8)
        snprintf(text, textSize, "0x%08" PRIX32, bits);
    else if (shown == RgnWordShown::hex4)
        snprintf(text, textSize, "0x%04" PRIX32, bits);
    else
        snprintf(text, textSize, "%" PRId32, value);
}
