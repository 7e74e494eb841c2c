#include "convert/rgn_writer.h"

#include <cerrno>
#include <cstdlib>

// Threads where the platform has them (not in a WebAssembly build without
// them).
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define HALVEX_PIECE_THREADS 0
#else
#define HALVEX_PIECE_THREADS 1
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace {

// Pieces in hand at once: one being written, one being made, one ready.
constexpr int32_t pieceSlots = 3;

void putRgnHeader(OutputFile* file, int32_t width, int32_t height) {
    uint8_t header[rgnHeaderBytes];
    encodeRgnHeader(width, height, header);
    writeOutputBytes(file, header, sizeof header);
}

// Rows quantised and written in one piece: enough to keep the writes large,
// few enough to stay in the cache.
int32_t rowsPerPiece(int32_t width) {
    const int64_t rowBytes = 2 * int64_t{width};
    return rowBytes >= (1 << 18) ? 1 : static_cast<int32_t>((1 << 18) / rowBytes);
}

// A run's words, made and written a piece (a few rows) at a time. Everything
// is allocated before the target is opened.
struct PieceRun {
    RgbImage image;
    RowQuantiser* rows;
    int32_t pieceRows;
    int32_t pieces;             // 0 for an image without pixels
    uint8_t* slots[pieceSlots]; // piece k is made in slots[k % pieceSlots]
    const WordWrapping* wrapping;
};

// Safe on a run never started or started in part.
void endPieceRun(PieceRun* run) {
    endRowQuantiser(run->rows);
    run->rows = nullptr;
    for (uint8_t*& slot : run->slots) {
        free(slot);
        slot = nullptr;
    }
    run->pieces = 0;
}

bool startPieceRun(PieceRun* run, const RgbImage& image, const Quantisation& quantisation) {
    *run = PieceRun{};
    run->image = image;
    const int32_t rows = rowsPerPiece(image.width);
    run->pieceRows = rows < image.height ? rows : image.height;
    run->pieces = (image.height - 1) / run->pieceRows + 1;
    const size_t pieceBytes =
        static_cast<size_t>(run->pieceRows) * 2 * static_cast<size_t>(image.width);
    const int32_t slots = run->pieces < pieceSlots ? run->pieces : pieceSlots;
    for (int32_t i = 0; i < slots; ++i) {
        run->slots[i] = static_cast<uint8_t*>(malloc(pieceBytes));
        if (run->slots[i] == nullptr) {
            endPieceRun(run);
            return false;
        }
    }
    run->rows = startRowQuantiser(image, quantisation);
    if (run->rows == nullptr) {
        endPieceRun(run);
        return false;
    }
    return true;
}

int32_t rowsOfPiece(const PieceRun& run, int32_t piece) {
    const int32_t left = run.image.height - piece * run.pieceRows;
    return left < run.pieceRows ? left : run.pieceRows;
}

void makePiece(PieceRun* run, int32_t piece) {
    quantiseNextRows(run->rows, rowsOfPiece(*run, piece), run->slots[piece % pieceSlots]);
}

void putPiece(const PieceRun& run, OutputFile* file, int32_t piece) {
    run.wrapping->putWords(run.wrapping->context, file, run.slots[piece % pieceSlots],
                           static_cast<size_t>(rowsOfPiece(run, piece)) * run.image.width);
}

void writePiecesInTurn(PieceRun* run, OutputFile* file) {
    for (int32_t piece = 0; piece < run->pieces && file->error == 0; ++piece) {
        makePiece(run, piece);
        putPiece(*run, file, piece);
    }
}

#if HALVEX_PIECE_THREADS
// A second thread makes the pieces while this one writes them, so that the
// quantising overlaps the copying into the file. The file gets the same
// bytes in the same order as from writePiecesInTurn: the pieces are made one
// after another by one thread, each into a slot that is written (and then
// freed for reuse) before the maker may fill it again. The first failed
// write stops the maker; what has been written is then abandoned as usual.
// Below this many pieces a second thread costs more than it saves.
constexpr int32_t minimumPiecesForThread = 4;

struct PieceHandoff {
    std::mutex lock;
    std::condition_variable changed;
    int32_t made = 0;    // pieces ready to write
    int32_t written = 0; // pieces written, their slots free again
    bool abandoned = false;
};

void makePieces(PieceRun* run, PieceHandoff* handoff) {
    for (int32_t piece = 0; piece < run->pieces; ++piece) {
        {
            std::unique_lock<std::mutex> guard(handoff->lock);
            handoff->changed.wait(
                guard, [&] { return handoff->abandoned || piece - handoff->written < pieceSlots; });
            if (handoff->abandoned)
                return; // the writing has stopped
        }
        makePiece(run, piece);
        {
            const std::lock_guard<std::mutex> guard(handoff->lock);
            handoff->made = piece + 1;
        }
        handoff->changed.notify_all();
    }
}

// Whatever ends the writing (the last piece, a failure) releases the maker.
void writeMadePieces(const PieceRun& run, OutputFile* file, PieceHandoff* handoff) {
    for (int32_t piece = 0; piece < run.pieces && file->error == 0; ++piece) {
        {
            std::unique_lock<std::mutex> guard(handoff->lock);
            handoff->changed.wait(guard, [&] { return handoff->made > piece; });
        }
        putPiece(run, file, piece);
        {
            const std::lock_guard<std::mutex> guard(handoff->lock);
            handoff->written = piece + 1;
        }
        handoff->changed.notify_all();
    }
    {
        const std::lock_guard<std::mutex> guard(handoff->lock);
        handoff->abandoned = true;
    }
    handoff->changed.notify_all();
}

void writePieces(PieceRun* run, OutputFile* file) {
    if (run->pieces < minimumPiecesForThread || file->error != 0) {
        writePiecesInTurn(run, file);
        return;
    }
    PieceHandoff handoff;
    std::thread maker;
    try {
        maker = std::thread(makePieces, run, &handoff);
    } catch (const std::system_error&) {
        writePiecesInTurn(run, file);
        return;
    }
    writeMadePieces(*run, file, &handoff);
    maker.join();
}
#else
void writePieces(PieceRun* run, OutputFile* file) {
    writePiecesInTurn(run, file);
}
#endif

void putRgnStart(void* /*context*/, OutputFile* file, int32_t width, int32_t height) {
    putRgnHeader(file, width, height);
}

void putWordsAsTheyAre(void* /*context*/, OutputFile* file, const uint8_t* words, size_t count) {
    writeOutputBytes(file, words, 2 * count);
}

void putNothing(void* /*context*/, OutputFile* /*file*/) {}

} // namespace

void putWrappedWords(OutputFile* file, int32_t width, int32_t height, const uint8_t* words,
                     const WordWrapping& wrapping) {
    if (width < 0 || height < 0) {
        failOutputFile(file, EINVAL);
        return;
    }
    wrapping.putStart(wrapping.context, file, width, height);
    wrapping.putWords(wrapping.context, file, words,
                      static_cast<size_t>(width) * static_cast<size_t>(height));
    wrapping.putEnd(wrapping.context, file);
}

WordWrapping rgnWrapping() {
    return WordWrapping{nullptr, putRgnStart, putWordsAsTheyAre, putNothing};
}

Status convertImageToFile(const char* targetPath, const RgbImage& source,
                          const Quantisation& quantisation, const WordWrapping& wrapping) {
    const RgbImage image = imageOrEmpty(source);
    if (image.width < 0 || image.height < 0)
        return systemFailure(EINVAL);
    if (!rgnWordsFit(image))
        return systemFailure(ENOMEM);
    PieceRun run{};
    if (image.width > 0 && image.height > 0 && !startPieceRun(&run, image, quantisation))
        return systemFailure(ENOMEM);
    OutputFile file;
    run.wrapping = &wrapping;
    if (succeeded(openOutputFile(&file, targetPath))) {
        wrapping.putStart(wrapping.context, &file, image.width, image.height);
        if (run.pieces > 0)
            writePieces(&run, &file);
        wrapping.putEnd(wrapping.context, &file);
    }
    endPieceRun(&run);
    return commitOutputFile(&file);
}
