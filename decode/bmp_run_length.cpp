// Run-length BMP rows: pairs (count, index) and escapes 0 0 (end of row),
// 0 1 (end of picture), 0 2 dx dy (move) and 0 n (n literal indices, padded
// to an even byte count). Indices that land outside the picture are dropped.
#include "decode/bmp_run_length.h"

#include <cstddef>

namespace {

struct RleState {
    const uint8_t* p;
    const uint8_t* end;
    bool nibbles;
    int64_t width;
    int64_t rows;
    int64_t x;
    int64_t y; // stored row: 0 is the bottom row of a bottom-up file
    uint8_t* indices;
};

void putIndex(RleState* s, uint8_t index) {
    if (s->x < s->width && s->y < s->rows)
        s->indices[s->y * s->width + s->x] = index;
    ++s->x;
}

// The i-th index of a run of two alternating nibbles, or of whole bytes.
uint8_t indexAt(const RleState& s, const uint8_t* bytes, int i) {
    if (!s.nibbles)
        return bytes[i];
    const uint8_t byte = bytes[i / 2];
    return static_cast<uint8_t>(i % 2 == 0 ? byte >> 4 : byte & 0x0F);
}

bool putLiterals(RleState* s, uint8_t count) {
    const size_t bytes = s->nibbles ? (count + 1u) / 2 : count;
    const size_t left = static_cast<size_t>(s->end - s->p);
    if (left < bytes)
        return false;
    for (int i = 0; i < count; ++i)
        putIndex(s, indexAt(*s, s->p, i));
    const size_t padded = bytes + bytes % 2;
    s->p += left < padded ? bytes : padded;
    return true;
}

// Runs one escape; false when its data is cut short. Sets *done at the end
// of the picture.
bool runEscape(RleState* s, uint8_t code, bool* done) {
    switch (code) {
    case 0:
        s->x = 0;
        ++s->y;
        return true;
    case 1:
        *done = true;
        return true;
    case 2:
        if (s->end - s->p < 2)
            return false;
        s->x += s->p[0];
        s->y += s->p[1];
        s->p += 2;
        return true;
    default:
        return putLiterals(s, code);
    }
}

} // namespace

Reason expandRunLength(const uint8_t* from, const uint8_t* end, bool nibbles, int32_t width,
                       int32_t rows, uint8_t* indices) {
    RleState s{from, end, nibbles, width, rows, 0, 0, nullptr};
    s.indices = indices;
    bool done = false;
    while (!done && s.y < s.rows) {
        if (s.end - s.p < 2)
            return Reason::CutShort;
        const uint8_t count = s.p[0];
        const uint8_t value = s.p[1];
        s.p += 2;
        if (count == 0) {
            if (!runEscape(&s, value, &done))
                return Reason::CutShort;
            continue;
        }
        for (int i = 0; i < count; ++i)
            putIndex(&s, s.nibbles ? indexAt(s, &value, i % 2) : value);
    }
    return Reason::None;
}
