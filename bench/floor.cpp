// The benchmark's floor: the least a converter must do, done the way the
// converter does it. Reads an uncompressed 24-bit BMP a piece of rows at a
// time, top row first (for a bottom-up file, each piece's stored rows are
// read in one go from where they lie), turns every pixel into RGB565 by
// plain truncation and writes the file's 48-byte header and the words. As
// in the converter (convert/rgn_writer.cpp), a second thread reads and makes
// the words a piece at a time while this one writes the pieces already
// made, so that the reading and truncating overlap the writing; the pieces
// are as large and as many at once as the converter's. No dithering, no
// temporary file, no checks beyond the header's shape.
//
// Usage: halvex-bench-floor INPUT.bmp OUTPUT.rgn
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

constexpr int32_t pieceSlots = 3;
constexpr size_t pieceBytes = size_t{1} << 18;

uint32_t u32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Run {
    FILE* source;
    long firstRow;   // where the first stored row starts
    size_t rowBytes; // stored, with padding
    uint8_t* stored; // one piece's stored rows
    bool readFailed = false;
    bool topDown;
    int32_t width;
    int32_t height;
    int32_t pieceRows;
    int32_t pieces;
    uint8_t* slots[pieceSlots];
    std::mutex lock;
    std::condition_variable changed;
    int32_t made = 0;
    int32_t written = 0;
};

int32_t rowsOf(const Run& run, int32_t piece) {
    const int32_t left = run.height - piece * run.pieceRows;
    return left < run.pieceRows ? left : run.pieceRows;
}

void truncateRow(const uint8_t* p, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, p += 3, out += 2) {
        const unsigned word = ((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3);
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
    }
}

void makePieces(Run* run) {
    for (int32_t piece = 0; piece < run->pieces; ++piece) {
        {
            std::unique_lock<std::mutex> guard(run->lock);
            run->changed.wait(guard, [&] { return piece - run->written < pieceSlots; });
        }
        uint8_t* out = run->slots[piece % pieceSlots];
        const int32_t rows = rowsOf(*run, piece);
        const int32_t top = piece * run->pieceRows;
        const int32_t from = run->topDown ? top : run->height - top - rows;
        const size_t bytes = run->rowBytes * static_cast<size_t>(rows);
        if (fseek(run->source, run->firstRow + static_cast<long>(run->rowBytes * from), SEEK_SET) !=
                0 ||
            fread(run->stored, 1, bytes, run->source) != bytes)
            run->readFailed = true;
        for (int32_t i = 0; i < rows; ++i) {
            const int32_t stored = run->topDown ? i : rows - 1 - i;
            truncateRow(run->stored + run->rowBytes * stored, run->width,
                        out + size_t{2} * run->width * i);
        }
        {
            const std::lock_guard<std::mutex> guard(run->lock);
            run->made = piece + 1;
        }
        run->changed.notify_all();
    }
}

bool writePieces(Run* run, FILE* target) {
    bool ok = true;
    for (int32_t piece = 0; piece < run->pieces; ++piece) {
        {
            std::unique_lock<std::mutex> guard(run->lock);
            run->changed.wait(guard, [&] { return run->made > piece; });
        }
        const size_t bytes = size_t{2} * run->width * rowsOf(*run, piece);
        ok = fwrite(run->slots[piece % pieceSlots], 1, bytes, target) == bytes && ok;
        {
            const std::lock_guard<std::mutex> guard(run->lock);
            run->written = piece + 1;
        }
        run->changed.notify_all();
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s INPUT.bmp OUTPUT.rgn\n", argv[0]);
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    uint8_t file[54];
    if (in == nullptr || fread(file, 1, sizeof file, in) != sizeof file) {
        perror(argv[1]);
        return 1;
    }
    if (file[0] != 'B' || file[1] != 'M' || file[28] != 24) {
        fprintf(stderr, "%s: not a 24-bit BMP\n", argv[1]);
        return 1;
    }
    const uint32_t offset = u32(&file[10]);
    const auto width = static_cast<int32_t>(u32(&file[18]));
    const auto storedHeight = static_cast<int32_t>(u32(&file[22]));
    const int32_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (width <= 0 || height == 0) {
        fprintf(stderr, "%s: no pixels\n", argv[1]);
        return 1;
    }
    Run run;
    run.source = in;
    run.firstRow = static_cast<long>(offset);
    run.rowBytes = rowBytes;
    run.topDown = storedHeight < 0;
    run.width = width;
    run.height = height;
    const size_t wordRow = size_t{2} * width;
    run.pieceRows = wordRow >= pieceBytes ? 1 : static_cast<int32_t>(pieceBytes / wordRow);
    if (run.pieceRows > height)
        run.pieceRows = height;
    run.pieces = (height - 1) / run.pieceRows + 1;
    run.stored = static_cast<uint8_t*>(malloc(rowBytes * run.pieceRows));
    if (run.stored == nullptr) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    for (uint8_t*& slot : run.slots) {
        slot = static_cast<uint8_t*>(malloc(wordRow * run.pieceRows));
        if (slot == nullptr) {
            fprintf(stderr, "out of memory\n");
            return 1;
        }
    }
    FILE* target = fopen(argv[2], "wb");
    if (target == nullptr) {
        perror(argv[2]);
        return 1;
    }
    uint8_t header[48] = {};
    putU32(header + 4, static_cast<uint32_t>(width));
    putU32(header + 8, static_cast<uint32_t>(height));
    bool ok = fwrite(header, 1, sizeof header, target) == sizeof header;
    std::thread maker(makePieces, &run);
    ok = writePieces(&run, target) && ok;
    maker.join();
    fclose(in);
    free(run.stored);
    for (uint8_t* slot : run.slots)
        free(slot);
    if (run.readFailed) {
        fprintf(stderr, "%s: truncated\n", argv[1]);
        return 1;
    }
    if (fclose(target) != 0 || !ok) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
