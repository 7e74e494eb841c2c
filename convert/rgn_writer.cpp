#include "convert/rgn_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
// few enough to stay in the cache; a multiple of four where there are four,
// as the error-diffusion passes take rows four at a time.
int32_t rowsPerPiece(int32_t width) {
    const int64_t rowBytes = 2 * int64_t{width};
    const int32_t rows = rowBytes >= (1 << 18) ? 1 : static_cast<int32_t>((1 << 18) / rowBytes);
    return rows >= 4 ? rows & ~3 : rows;
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
    const RowSupply* supply; // null when the image is all there
    int32_t windowRows;      // with a supply: the rows the image's block holds
    uint8_t* ownedPixels;    // the image's block, when the run made it
    Reason supplyFailure;    // why the supply could not give a piece's rows
};

// Safe on a run never started or started in part.
void endPieceRun(PieceRun* run) {
    endRowQuantiser(run->rows);
    run->rows = nullptr;
    for (uint8_t*& slot : run->slots) {
        free(slot);
        slot = nullptr;
    }
    free(run->ownedPixels);
    run->ownedPixels = nullptr;
    run->pieces = 0;
}

// windowRows as the row quantiser takes it: 0 for an image all in place.
bool startPieceRun(PieceRun* run, const RgbImage& image, const Quantisation& quantisation,
                   int32_t windowRows = 0) {
    *run = PieceRun{};
    run->image = image;
    run->windowRows = windowRows;
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
    run->rows = startRowQuantiser(image, quantisation, windowRows);
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

// Puts a piece's rows in the window, which holds two pieces: the rows of
// the next piece arrive while the last one's are quantised. False, with the
// supply's reason kept, when they cannot be had.
bool supplyPiece(PieceRun* run, int32_t piece) {
    const int32_t first = piece * run->pieceRows;
    const size_t place = static_cast<size_t>(run->windowRows > 0 ? first % run->windowRows : first);
    uint8_t* into = run->image.pixels + place * 3 * static_cast<size_t>(run->image.width);
    run->supplyFailure = run->supply->provide(run->supply->context, rowsOfPiece(*run, piece), into);
    return run->supplyFailure == Reason::None;
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
        if (run->supply != nullptr && !supplyPiece(run, piece))
            return;
        makePiece(run, piece);
        putPiece(*run, file, piece);
    }
}

#if HALVEX_PIECE_THREADS
// A second thread makes the pieces while this one writes them, so that the
// quantising overlaps the copying into the file; rows that arrive while the
// run goes are supplied by this thread too, a piece ahead of the maker. The
// file gets the same bytes in the same order as from writePiecesInTurn: the
// pieces are made one after another by one thread, each from rows supplied
// before (into the half of the window the maker is not reading) and into a
// slot that is written (and then freed for reuse) before the maker may fill
// it again. The first failed write or supply stops the maker; what has been
// written is then abandoned as usual. Below this many pieces a second thread
// costs more than it saves.
constexpr int32_t minimumPiecesForThread = 4;

struct PieceHandoff {
    std::mutex lock;
    std::condition_variable changed;
    int32_t supplied = 0; // pieces whose rows are in place
    int32_t made = 0;     // pieces ready to write
    int32_t written = 0;  // pieces written, their slots free again
    bool abandoned = false;
};

void makePieces(PieceRun* run, PieceHandoff* handoff) {
    for (int32_t piece = 0; piece < run->pieces; ++piece) {
        {
            std::unique_lock<std::mutex> guard(handoff->lock);
            handoff->changed.wait(guard, [&] {
                return handoff->abandoned ||
                       (handoff->supplied > piece && piece - handoff->written < pieceSlots);
            });
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

// The rows of a piece, once the maker is done with the piece two before it,
// whose half of the window they take. Nothing to do when the image is all
// there.
bool supplyAhead(PieceRun* run, PieceHandoff* handoff, int32_t piece) {
    if (piece >= run->pieces)
        return true;
    if (run->supply != nullptr) {
        {
            std::unique_lock<std::mutex> guard(handoff->lock);
            handoff->changed.wait(guard, [&] { return handoff->made >= piece - 1; });
        }
        if (!supplyPiece(run, piece))
            return false;
    }
    {
        const std::lock_guard<std::mutex> guard(handoff->lock);
        handoff->supplied = piece + 1;
    }
    handoff->changed.notify_all();
    return true;
}

// Whatever ends the writing (the last piece, a failure) releases the maker.
void writeMadePieces(PieceRun* run, OutputFile* file, PieceHandoff* handoff) {
    bool going = supplyAhead(run, handoff, 0);
    for (int32_t piece = 0; going && piece < run->pieces && file->error == 0; ++piece) {
        going = supplyAhead(run, handoff, piece + 1);
        {
            std::unique_lock<std::mutex> guard(handoff->lock);
            handoff->changed.wait(guard, [&] { return handoff->made > piece; });
        }
        putPiece(*run, file, piece);
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
    writeMadePieces(run, file, &handoff);
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

// A block for `rows` rows of the image, with the spare byte after the last
// that the error-diffusion passes' reads may touch.
uint8_t* rowBlock(int32_t width, int32_t rows) {
    return static_cast<uint8_t*>(
        malloc(static_cast<size_t>(rows) * 3 * static_cast<size_t>(width) + 1));
}

// Starts a run over a window of two pieces' rows, filled by the supply.
bool startSuppliedRun(PieceRun* run, int32_t width, int32_t height,
                      const Quantisation& quantisation, const RowSupply& supply) {
    const int64_t twoPieces = 2 * int64_t{rowsPerPiece(width)};
    const auto windowRows = static_cast<int32_t>(twoPieces < height ? twoPieces : height);
    uint8_t* window = rowBlock(width, windowRows);
    if (window == nullptr ||
        !startPieceRun(run, RgbImage{width, height, window}, quantisation, windowRows)) {
        free(window);
        return false;
    }
    run->ownedPixels = window;
    run->supply = &supply;
    return true;
}

// A picture held whole, handed out as a supply: for a target written in
// place, which gets every row before its first byte.
struct HeldPicture {
    uint8_t* pixels;
    size_t rowBytes;
    size_t given; // bytes handed out so far
};

Reason handOutRows(void* context, int32_t count, uint8_t* rows) {
    auto* held = static_cast<HeldPicture*>(context);
    const size_t bytes = held->rowBytes * static_cast<size_t>(count);
    memcpy(rows, held->pixels + held->given, bytes);
    held->given += bytes;
    return Reason::None;
}

// Takes every row from the run's supply into held, which then supplies the
// run (through heldSupply). A failure of the supply is kept in the run.
Status holdWholePicture(PieceRun* run, HeldPicture* held, RowSupply* heldSupply) {
    const RgbImage& image = run->image;
    held->rowBytes = 3 * static_cast<size_t>(image.width);
    held->pixels = rowBlock(image.width, image.height);
    if (held->pixels == nullptr)
        return systemFailure(ENOMEM);
    run->supplyFailure = run->supply->provide(run->supply->context, image.height, held->pixels);
    if (run->supplyFailure != Reason::None)
        return Status{run->supplyFailure, 0};
    *heldSupply = RowSupply{held, handOutRows};
    run->supply = heldSupply;
    return Status{};
}

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

Status convertRowsToFile(const char* targetPath, int32_t width, int32_t height,
                         const Quantisation& quantisation, const RowSupply& supply,
                         const WordWrapping& wrapping) {
    if (width < 0 || height < 0)
        return systemFailure(EINVAL);
    if (!rgnWordsFit(RgbImage{width, height, nullptr}))
        return systemFailure(ENOMEM);
    if (width == 0 || height == 0)
        return convertImageToFile(targetPath, RgbImage{}, quantisation, wrapping);
    PieceRun run{};
    if (!startSuppliedRun(&run, width, height, quantisation, supply))
        return systemFailure(ENOMEM);
    OutputFile file;
    HeldPicture held{nullptr, 0, 0};
    RowSupply heldSupply{};
    Status status = openOutputFile(&file, targetPath);
    if (succeeded(status) && file.temporary.empty())
        status = holdWholePicture(&run, &held, &heldSupply);
    if (succeeded(status)) {
        run.wrapping = &wrapping;
        wrapping.putStart(wrapping.context, &file, width, height);
        writePieces(&run, &file);
        if (run.supplyFailure == Reason::None)
            wrapping.putEnd(wrapping.context, &file);
        else
            status = Status{run.supplyFailure, 0};
    }
    endPieceRun(&run);
    free(held.pixels);
    if (!succeeded(status) && file.error == 0) {
        abandonOutputFile(&file);
        return status;
    }
    return commitOutputFile(&file);
}
