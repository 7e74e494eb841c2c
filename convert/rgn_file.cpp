#include "convert/rgn_file.h"

#include "platform/byte_order.h"
#include "platform/files.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>

Status readRgnHeader(FILE* stream, RgnFileHeader* header) {
    *header = RgnFileHeader{};
    header->fileLength = streamSize(stream);
    if (header->fileLength < 0)
        return systemFailure(errno);
    header->headerComplete = header->fileLength >= rgnHeaderBytes;
    if (!header->headerComplete)
        return Status{};
    uint8_t bytes[rgnHeaderBytes];
    if (fread(bytes, 1, sizeof bytes, stream) != sizeof bytes)
        return systemFailure(errno);
    for (int32_t i = 0; i < rgnHeaderWordCount; ++i)
        header->words[i] = static_cast<int32_t>(fieldU32(bytes + rgnHeaderFields[i].offset));
    return Status{};
}

std::string rgnHeaderProblem(const RgnFileHeader& header) {
    char message[160];
    if (!header.headerComplete) {
        snprintf(message, sizeof message,
                 "the file is %" PRId64 " bytes long, shorter than the %d-byte header",
                 header.fileLength, static_cast<int>(rgnHeaderBytes));
        return message;
    }
    const int32_t width = header.words[0];
    const int32_t height = header.words[1];
    if (width < 0 || height < 0) {
        snprintf(message, sizeof message, "the %s %d is negative", width < 0 ? "width" : "height",
                 width < 0 ? width : height);
        return message;
    }
    const int64_t pixelBytes = static_cast<int64_t>(width) * height * 2;
    if (header.words[2] != pixelBytes) {
        snprintf(message, sizeof message, "pixel bytes is %d, but width x height x 2 is %" PRId64,
                 header.words[2], pixelBytes);
        return message;
    }
    int32_t expected[rgnHeaderWordCount];
    rgnHeaderWords(width, height, expected);
    for (int32_t i = 0; i < rgnHeaderWordCount; ++i) {
        if (rgnHeaderFields[i].rule == RgnWordRule::fixed && header.words[i] != expected[i]) {
            char found[16];
            char wanted[16];
            formatRgnHeaderValue(i, header.words[i], found, sizeof found);
            formatRgnHeaderValue(i, expected[i], wanted, sizeof wanted);
            snprintf(message, sizeof message, "%s is %s, must be %s", rgnHeaderFieldName(i), found,
                     wanted);
            return message;
        }
    }
    if (header.fileLength != rgnHeaderBytes + pixelBytes) {
        snprintf(message, sizeof message,
                 "the file is %" PRId64 " bytes long, but 48 + pixel bytes is %" PRId64,
                 header.fileLength, rgnHeaderBytes + pixelBytes);
        return message;
    }
    return std::string();
}

Status checkRgnHeader(const RgnFileHeader& header) {
    return rgnHeaderProblem(header).empty() ? Status{} : Status{Reason::RgnInconsistent, 0};
}

uint8_t* readRgnPixels(FILE* stream, const RgnFileHeader& header) {
    if (!header.headerComplete || header.words[2] < 0)
        return nullptr;
    const auto bytes = static_cast<size_t>(header.words[2]);
    auto* pixels = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : bytes));
    if (pixels == nullptr)
        return nullptr;
    if (bytes > 0 && fread(pixels, 1, bytes, stream) != bytes) {
        free(pixels);
        return nullptr;
    }
    return pixels;
}
