// The benchmark's decoding floor: the least a converter of PNG and JPEG
// files must do. Decodes with the same libraries and settings as the
// product (libjpeg-turbo's accurate integer DCT and smooth upsampling;
// libspng), a band of rows at a time into a small buffer, turns each pixel
// into RGB565 as --dither none does (with green's compensation, on by
// default: a green equal to red or blue keeps 5 bits) and writes the words
// raw, top row first.
//
// Usage: halvex-bench-decode-floor INPUT.png|INPUT.jpeg OUTPUT.raw
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <spng.h>

namespace {

void packRow(const uint8_t* rgb, uint32_t width, uint8_t* out) {
    for (uint32_t x = 0; x < width; ++x, rgb += 3, out += 2) {
        const unsigned r = rgb[0];
        const unsigned g = rgb[1];
        const unsigned b = rgb[2];
        const unsigned green = (g == r || g == b) ? (g >> 3) << 6 : (g >> 2) << 5;
        const unsigned word = ((r >> 3) << 11) | green | (b >> 3);
        out[0] = static_cast<uint8_t>(word);
        out[1] = static_cast<uint8_t>(word >> 8);
    }
}

bool decodeJpeg(const uint8_t* data, size_t size, FILE* out) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors); // errors end the program: a floor, not a reader
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    const uint32_t width = cinfo.output_width;
    constexpr int band = 16;
    auto* rgb = static_cast<uint8_t*>(malloc(size_t{width} * 3 * band));
    auto* words = static_cast<uint8_t*>(malloc(size_t{width} * 2 * band));
    JSAMPROW rows[band];
    for (int i = 0; i < band; ++i)
        rows[i] = rgb + size_t{width} * 3 * i;
    bool ok = rgb != nullptr && words != nullptr;
    while (ok && cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, band);
        for (JDIMENSION i = 0; i < got; ++i)
            packRow(rows[i], width, words + size_t{width} * 2 * i);
        ok = fwrite(words, size_t{width} * 2, got, out) == got;
    }
    jpeg_destroy_decompress(&cinfo);
    free(rgb);
    free(words);
    return ok;
}

bool decodePng(const uint8_t* data, size_t size, FILE* out) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, data, size);
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx, &ihdr) != 0 ||
        spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGB8, SPNG_DECODE_PROGRESSIVE) != 0) {
        spng_ctx_free(ctx);
        return false;
    }
    const size_t rowBytes = size_t{ihdr.width} * 3;
    auto* rgb = static_cast<uint8_t*>(malloc(rowBytes));
    auto* words = static_cast<uint8_t*>(malloc(size_t{ihdr.width} * 2));
    bool ok = rgb != nullptr && words != nullptr;
    int error = 0;
    while (ok && error == 0) {
        error = spng_decode_row(ctx, rgb, rowBytes);
        if (error != 0 && error != SPNG_EOI)
            ok = false;
        if (ok) {
            packRow(rgb, ihdr.width, words);
            ok = fwrite(words, size_t{ihdr.width} * 2, 1, out) == 1;
        }
    }
    spng_ctx_free(ctx);
    free(rgb);
    free(words);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s INPUT.png|INPUT.jpeg OUTPUT.raw\n", argv[0]);
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == nullptr) {
        perror(argv[1]);
        return 1;
    }
    fseek(in, 0, SEEK_END);
    const long length = ftell(in);
    fseek(in, 0, SEEK_SET);
    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
    auto* data = static_cast<uint8_t*>(malloc(size + 1));
    if (data == nullptr || fread(data, 1, size, in) != size) {
        perror(argv[1]);
        return 1;
    }
    fclose(in);
    FILE* out = fopen(argv[2], "wb");
    if (out == nullptr) {
        perror(argv[2]);
        return 1;
    }
    const bool png = size >= 8 && memcmp(data, "\x89PNG", 4) == 0;
    const bool ok = png ? decodePng(data, size, out) : decodeJpeg(data, size, out);
    free(data);
    if (fclose(out) != 0 || !ok) {
        fprintf(stderr, "%s: not decoded\n", argv[1]);
        return 1;
    }
    return 0;
}
