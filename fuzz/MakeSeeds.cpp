// Writes the starting inputs of the fuzz corpora: small, well-formed calls in the input layout
// the fuzz targets decode, so that campaigns start from carriers the engine accepts.
// Usage: fuzz_seeds <corpus folder>   (writes <folder>/embed81/seed-* and <folder>/extract/seed-*)
#include "BmpBuilder.h"
#include "FuzzInput.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using bmptest::Bytes;

struct Embed81Seed {
    std::string name;
    int32_t blockIndex = 0, resumePos = 0, rowsPerBlock = 4, dataOffset = 0, cropLeft = 0,
            cropBottom = 0, imageWidth = 0, outWidth = 0, rowCount = 0, docLength = 0;
    bool wrap16 = false;
    uint8_t flags = 0;
    std::string header;
    Bytes doc;
    Bytes carrier; // whole file; the seed stores it from offset 54 on
};

Bytes indicesFor(int32_t rowPixels, int32_t height, int paletteSize, uint32_t seed) {
    // Runs and noise alternate, so the mixed encoder emits both kinds of runs.
    Bytes out;
    uint32_t s = seed;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < rowPixels; ++x) {
            s = s * 1103515245u + 12345u;
            const bool flat = ((x / 5) + y) % 2 == 0;
            // Without a palette the indices still need variety; their colours are arbitrary.
            const auto colours = static_cast<uint32_t>(paletteSize > 0 ? paletteSize : 8);
            out.push_back(static_cast<uint8_t>(
                (flat ? static_cast<uint32_t>(y * 3 + x / 5) : s >> 16) % colours));
        }
    }
    return out;
}

Bytes payloadDoc(size_t n, uint8_t start) {
    Bytes d(n);
    for (size_t i = 0; i < n; ++i) {
        d[i] = static_cast<uint8_t>(start + i * 37);
    }
    return d;
}

void put16(Bytes& out, int32_t v, bool wrap) {
    if (wrap) {
        fuzzin::put16Wrapped(out, static_cast<int16_t>(v), -3);
    } else {
        fuzzin::put32(out, v);
    }
}

Bytes encode(const Embed81Seed& s) {
    Bytes out;
    put16(out, s.blockIndex, s.wrap16);
    fuzzin::put32(out, s.resumePos);
    put16(out, s.rowsPerBlock, s.wrap16);
    put16(out, s.dataOffset, s.wrap16);
    put16(out, s.cropLeft, s.wrap16);
    put16(out, s.cropBottom, s.wrap16);
    fuzzin::put32(out, s.imageWidth);
    fuzzin::put32(out, s.outWidth);
    fuzzin::put32(out, s.rowCount);
    fuzzin::put32(out, s.docLength);
    out.push_back(s.flags);
    out.push_back(static_cast<uint8_t>(s.header.size()));
    out.insert(out.end(), s.header.begin(), s.header.end());
    out.push_back(static_cast<uint8_t>(s.doc.size()));
    out.push_back(static_cast<uint8_t>(s.doc.size() >> 8));
    out.insert(out.end(), s.doc.begin(), s.doc.end());
    if ((s.flags & 0x40) != 0) {
        out.insert(out.end(), s.carrier.begin(), s.carrier.end());
    } else {
        out.insert(out.end(), s.carrier.begin() + 54, s.carrier.end());
    }
    return out;
}

Embed81Seed rleSeed(const std::string& name, int32_t width, int32_t height, int paletteSize,
                    bmptest::RleStyle style, bool endOfImage) {
    Embed81Seed s;
    s.name = name;
    const auto palette = bmptest::testPalette(paletteSize);
    const int32_t rowPixels = bmptest::rle8RowPixels(width);
    s.carrier = bmptest::makeRle8(width, height, palette,
                                  indicesFor(rowPixels, height, paletteSize, 7u + width), rowPixels,
                                  style, endOfImage);
    s.dataOffset = 54 + 4 * paletteSize;
    s.imageWidth = width;
    s.outWidth = width;
    s.rowCount = height;
    s.header = "VOKE-seed"; // its 36 bit pairs fit in block 0 of every seed below
    s.doc = payloadDoc(24, static_cast<uint8_t>(width));
    s.docLength = static_cast<int32_t>(s.doc.size());
    return s;
}

std::vector<Embed81Seed> embed81Seeds() {
    using bmptest::RleStyle;
    std::vector<Embed81Seed> seeds;

    auto full = rleSeed("seed-mixed-full-crop", 10, 6, 16, RleStyle::Mixed, true);
    full.rowsPerBlock = 2; // 60 colour bytes per block: three blocks, continued by offset
    seeds.push_back(full);

    auto crop = rleSeed("seed-mixed-cropped", 13, 9, 32, RleStyle::Mixed, false);
    crop.cropLeft = 3;
    crop.cropBottom = 2;
    crop.outWidth = 8;
    crop.rowCount = 5;
    crop.rowsPerBlock = 2;
    seeds.push_back(crop);

    auto absolute =
        rleSeed("seed-absolute-odd-runs-left-edge", 7, 5, 256, RleStyle::AbsoluteOnly, true);
    absolute.cropLeft = 1;
    absolute.outWidth = 6;
    absolute.rowsPerBlock = 4;
    seeds.push_back(absolute);

    auto encoded = rleSeed("seed-encoded-only-no-palette", 5, 12, 0, RleStyle::EncodedOnly, false);
    encoded.rowsPerBlock = 4;
    seeds.push_back(encoded);

    auto wrapped = full;
    wrapped.name = "seed-16bit-high-halves";
    wrapped.wrap16 = true;
    seeds.push_back(wrapped);

    auto shortDoc = full;
    shortDoc.name = "seed-document-shorter-than-length";
    shortDoc.docLength = 40;
    shortDoc.doc.resize(5);
    seeds.push_back(shortDoc);

    auto jump = full;
    jump.name = "seed-position-jump-code";
    jump.carrier = bmptest::makeRle8Raw(10, 2, bmptest::testPalette(16),
                                        {3, 1, 0, 2, 1, 1, 12, 4, 0, 0, 0, 3, 5, 6, 7, 0, 0, 1});
    jump.rowCount = 2;
    seeds.push_back(jump);

    auto resume = full;
    resume.name = "seed-second-block-by-offset";
    resume.blockIndex = 1;
    resume.resumePos = 54 + 4 * 16;
    seeds.push_back(resume);

    return seeds;
}

struct ExtractSeed {
    std::string name;
    int32_t blockIndex = 0, rowsPerBlock = 4, dataOffset = 54, rowBytes = 0, docLength = 0,
            headerLength = 0;
    bool wrap16 = false;
    Bytes image;
};

// A 24-bit image whose colour bytes carry a header of headerLength bytes, then a document.
ExtractSeed imageSeed(const std::string& name, int32_t width, int32_t height, int32_t headerLength,
                      int32_t docLength) {
    ExtractSeed s;
    s.name = name;
    s.rowBytes = 3 * width;
    s.headerLength = headerLength;
    s.docLength = docLength;
    Bytes payload = payloadDoc(static_cast<size_t>(headerLength + docLength), 11);
    Bytes bgr(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
    for (size_t n = 0; n < bgr.size(); ++n) {
        const size_t idx = n / 4;
        const int pair = idx < payload.size() ? (payload[idx] >> (2 * (n % 4))) & 3 : 1;
        const auto base = static_cast<uint8_t>((n * 29 + n / 7) & 0xFC);
        bgr[n] = static_cast<uint8_t>(base | pair);
    }
    s.image = bmptest::make24(width, height, bgr);
    return s;
}

Bytes encode(const ExtractSeed& s) {
    Bytes out;
    put16(out, s.blockIndex, s.wrap16);
    put16(out, s.rowsPerBlock, s.wrap16);
    put16(out, s.dataOffset, s.wrap16);
    fuzzin::put32(out, s.rowBytes);
    fuzzin::put32(out, s.docLength);
    put16(out, s.headerLength, s.wrap16);
    out.push_back(0); // flags
    out.insert(out.end(), s.image.begin(), s.image.end());
    return out;
}

std::vector<ExtractSeed> extractSeeds() {
    std::vector<ExtractSeed> seeds;

    // 15 colour bytes and 1 pad byte per row; 4 rows hold 15 payload bytes: three blocks.
    seeds.push_back(imageSeed("seed-padded-rows-three-blocks", 5, 16, 2, 40));

    auto noPad = imageSeed("seed-rows-without-padding", 4, 8, 3, 20);
    noPad.rowsPerBlock = 2;
    seeds.push_back(noPad);

    auto wrapped = imageSeed("seed-16bit-high-halves", 5, 16, 2, 40);
    wrapped.wrap16 = true;
    seeds.push_back(wrapped);

    // 4 rows of 3 colour bytes hold exactly the 3-byte header's 12 bit pairs.
    auto tight = imageSeed("seed-header-fills-block", 1, 8, 3, 2);
    seeds.push_back(tight);

    auto truncated = imageSeed("seed-image-ends-early", 6, 8, 2, 30);
    truncated.image.resize(truncated.image.size() / 2);
    seeds.push_back(truncated);

    auto odd = imageSeed("seed-block-not-whole-bytes", 3, 12, 1, 12);
    odd.rowsPerBlock = 3; // 27 colour bytes per block
    seeds.push_back(odd);

    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    std::filesystem::create_directories(root / "embed81");
    std::filesystem::create_directories(root / "extract");
    for (const auto& s : embed81Seeds()) {
        fuzzin::writeFile((root / "embed81" / s.name).string(), encode(s));
    }
    for (const auto& s : extractSeeds()) {
        fuzzin::writeFile((root / "extract" / s.name).string(), encode(s));
    }
    return 0;
}
