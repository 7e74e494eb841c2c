// Reading the shared image corpus: its manifest, SHA-256 of decoded pixels
// and the row and value transforms that line the loader's output up with
// the reference decode (rows top to bottom, 8-bit channels).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The corpus folder: $HALVEX_CORPUS, else the folder named at build time.
std::string corpusDirectory();
bool corpusPresent();

struct ManifestRow {
    std::string path;
    int64_t bytes = 0;
    std::string referenceSha256; // "-" when the reference decoder failed
    int referenceWidth = -1;
    int referenceHeight = -1;
};
// Rows keyed by path; empty when the manifest cannot be read.
std::map<std::string, ManifestRow> readManifest(const std::string& directory);

std::string sha256Hex(const uint8_t* data, size_t size);

// Result of loading one file through openRegularFile and loadImage.
struct Decoded {
    bool opened = false;
    bool loaded = false;
    int32_t width = 0;
    int32_t height = 0;
    Bytes rgb;
};
Decoded decodeFile(const std::string& path);

// The rows in reverse order.
Bytes flipRows(const Bytes& rgb, int32_t width, int32_t height);
// Each channel with its top bits copied into the low bits (c | c >> 5): the
// widening of a 5-bit field that the reference decoder applies.
Bytes replicateFiveBitFields(const Bytes& rgb);
