#pragma once

// Helpers shared by the engine tests: temporary folders, the block protocol run against the
// engine and against the reference model, and random carriers.

#include "BmpBuilder.h"
#include "ReferenceModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace enginetest {

using bmptest::Bytes;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The engine's filler state belongs to the calling thread and starts at 1 there, so a run on a
// new thread lines up with a fresh refmodel::Filler.
template <class F> std::invoke_result_t<F> onFreshThread(F work) {
    std::invoke_result_t<F> result{};
    std::thread worker([&] { result = work(); });
    worker.join();
    return result;
}

enum class CarrierKind { Bits24, Bits8, Rle8 };

// One embedding: the carrier and document files and the arguments kept across its calls.
struct EmbedJob {
    CarrierKind kind = CarrierKind::Bits24;
    Bytes carrier;
    Bytes document;
    std::string header = "H";
    int32_t rowsPerBlock = 4;
    int32_t dataOffset = 54;
    int32_t cropLeft = 0; // bytes for 24-bit carriers, pixels otherwise
    int32_t cropBottomRows = 0;
    int32_t rowStride = 0;  // uncompressed carriers
    int32_t imageWidth = 0; // RLE8 carriers
    int32_t outWidth = 1;
    int32_t rowCount = 1;
    int32_t docLength = 0;
};

struct ExtractJob {
    Bytes image;
    int32_t rowsPerBlock = 4;
    int32_t dataOffset = 54;
    int32_t rowBytes = 3;
    int32_t docLength = 1;
    int32_t headerLength = 1;
};

// The statuses of every call of a block-protocol run and the output file it left.
struct Outcome {
    std::vector<int32_t> statuses;
    Bytes output;
    int error = 0; // errno as the last call left it
};

// The engine runs on the calling thread; the embedders' output starts with the 54 header bytes
// the program writes before the first call.
Outcome engineEmbed(const EmbedJob& job);
Outcome modelEmbed(const EmbedJob& job, refmodel::Filler& filler);
Outcome modelEmbed(const EmbedJob& job);
Outcome engineExtract(const ExtractJob& job);
Outcome modelExtract(const ExtractJob& job);

std::string describe(const EmbedJob& job);
std::string describe(const ExtractJob& job);

::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected);

// Random material; bytes lean towards both ends of the range, where the low-bit correction is
// clipped.
int32_t randomIn(std::mt19937& rng, int32_t lo, int32_t hi);
Bytes randomBytes(std::mt19937& rng, size_t count);
std::string randomHeader(std::mt19937& rng, size_t length); // no NUL bytes
// Rows of palette indices with runs of repeats, each row rowPixels long.
Bytes randomIndices(std::mt19937& rng, int32_t rowPixels, int32_t rows, int32_t indexLimit);
// Smallest block height with rows * outWidth * 3 a multiple of 4, times a random factor.
int32_t randomRowsPerBlock(std::mt19937& rng, int32_t outWidth, int32_t rowCount);

// 64 entries whose blue byte is (i << 2) | 2: whatever bit pair lands on it, the high six bits
// still name the entry, so the palette index of every output pixel can be read back.
std::vector<bmptest::PaletteEntry> traceablePalette();
// Palette indices of an output image (54 header bytes, then 24-bit rows) built with it.
Bytes tracedIndices(const Bytes& output, int32_t width, int32_t height);

// Colour bytes of a 24-bit output image in bit-pair order (padding dropped).
Bytes colourBytes(const Bytes& output, int32_t width, int32_t height);
// Reassembles bytes from the low bits of colour bytes, four per byte, least significant first.
Bytes lowBitBytes(const Bytes& colours, size_t firstByte, size_t count);

} // namespace enginetest
