#include "ReferenceModel.h"

#include <array>
#include <limits>

namespace refmodel {

namespace {

using Colour = std::array<uint8_t, 3>;
using Palette = std::array<Colour, 256>;

int64_t narrow16(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

// Behaves like a buffered C stream opened "rb": seeking to any offset from 0 on succeeds, a read
// at or past the end yields the end-of-file value (255 once stored as a byte) and does not move.
class Stream {
public:
    explicit Stream(const Bytes& bytes) : bytes_(bytes) {}

    bool seek(int64_t offset) {
        if (offset < 0) {
            return false;
        }
        pos_ = offset;
        return true;
    }

    uint8_t get() {
        if (pos_ < static_cast<int64_t>(bytes_.size())) {
            return bytes_[static_cast<size_t>(pos_++)];
        }
        return 0xFF;
    }

    void skip(int64_t count) {
        for (int64_t k = 0; k < count; ++k) {
            get();
        }
    }

    int64_t tell() const { return pos_; }

private:
    const Bytes& bytes_;
    int64_t pos_ = 0;
};

// Supplies bit pair u: header bytes, then the document read in sequence, then filler.
class Payload {
public:
    Payload(const std::string& header, int32_t docLength, Stream& document, Filler& filler)
        : header_(header), hp_(static_cast<int64_t>(4 * header.size()) & 0xFFFF),
          fs_(hp_ + 4 * static_cast<int64_t>(docLength)), document_(document), filler_(filler) {}

    int64_t headerPairs() const { return hp_; }

    uint8_t pair(int64_t u) {
        if (u % 4 == 0) {
            if (u >= fs_) {
                byte_ = filler_.next();
            } else if (u < hp_) {
                byte_ = static_cast<uint8_t>(header_[static_cast<size_t>(u / 4)]);
            } else {
                byte_ = document_.get();
            }
        }
        return static_cast<uint8_t>((byte_ >> (2 * (u % 4))) & 3);
    }

private:
    const std::string& header_;
    int64_t hp_;
    int64_t fs_;
    Stream& document_;
    Filler& filler_;
    uint8_t byte_ = 0;
};

uint8_t hide(uint8_t v, uint8_t b) {
    int n = (v & 0xFC) + b;
    const int d = n - v;
    if (d < -2 && n < 252) {
        n += 4;
    } else if (d > 2 && n > 3) {
        n -= 4;
    }
    return static_cast<uint8_t>(n);
}

void embedPixel(CallResult& out, Payload& payload, const Colour& colour, int64_t row, int64_t col,
                int64_t outWidth) {
    for (int64_t c = 0; c < 3; ++c) {
        const int64_t u = (row * outWidth + col) * 3 + c;
        out.written.push_back(hide(colour[static_cast<size_t>(c)], payload.pair(u)));
    }
}

void writePad(CallResult& out, int64_t outWidth) {
    const int64_t pad = ((3 * outWidth - 1) / 4) * 4 + 4 - 3 * outWidth;
    for (int64_t k = 0; k < pad; ++k) {
        out.written.push_back(0);
    }
}

// Entries the engine does not read stay black.
Palette readPalette(Stream& carrier, int64_t dataOffset) {
    Palette palette{};
    carrier.seek(54);
    const int64_t entries = (dataOffset - 54) / 4;
    for (int64_t e = 0; e < entries; ++e) {
        for (uint8_t& channel : palette[static_cast<size_t>(e)]) {
            channel = carrier.get();
        }
        carrier.get();
    }
    return palette;
}

CallResult fail(CallResult&& partial, int32_t status) {
    partial.status = status;
    return std::move(partial);
}

CallResult embedUncompressed(const EmbedArgs& a, const Bytes& carrierBytes,
                             const Bytes& documentBytes, Filler& filler, bool palettised) {
    const int64_t blockIndex = narrow16(a.blockIndex);
    const int64_t rowsPerBlock = narrow16(a.rowsPerBlock);
    const int64_t dataOffset = narrow16(a.dataOffset);
    const int64_t cropLeft = narrow16(a.cropLeft);
    const int64_t cropBottom = narrow16(a.cropBottomRows);
    const int64_t outWidth = a.outWidth;

    CallResult out;
    if (a.rowStride == 0) {
        return fail(std::move(out), -1);
    }
    if (a.outWidth == 0) {
        return fail(std::move(out), -2);
    }
    if (a.rowCount == 0) {
        return fail(std::move(out), -3);
    }
    if (dataOffset == 0 || dataOffset > 1078) {
        return fail(std::move(out), -4);
    }
    if (rowsPerBlock == 0) {
        return fail(std::move(out), palettised ? -15 : -14);
    }
    if (a.header.empty()) {
        return fail(std::move(out), -5);
    }

    Stream carrier(carrierBytes);
    Stream document(documentBytes);
    Palette palette{};
    if (palettised) {
        palette = readPalette(carrier, dataOffset);
    }
    Payload payload(a.header, a.docLength, document, filler);

    int64_t r0 = 0;
    if (blockIndex > 0) {
        r0 = rowsPerBlock * blockIndex;
        if (!document.seek((r0 * outWidth * 3 - payload.headerPairs()) / 4)) {
            return fail(std::move(out), palettised ? -13 : -12);
        }
    }
    for (int64_t i = r0; i < a.rowCount; ++i) {
        if (i % rowsPerBlock == 0 && i > r0) {
            return fail(std::move(out), 1);
        }
        const int64_t rowStart =
            dataOffset + cropLeft + cropBottom * a.rowStride + i * int64_t{a.rowStride};
        if (!carrier.seek(rowStart)) {
            return fail(std::move(out), palettised ? -14 : -13);
        }
        for (int64_t j = 0; j < outWidth; ++j) {
            Colour colour{};
            if (palettised) {
                colour = palette[carrier.get()];
            } else {
                for (uint8_t& v : colour) {
                    v = carrier.get();
                }
            }
            embedPixel(out, payload, colour, i, j, outWidth);
        }
        writePad(out, outWidth);
    }
    return fail(std::move(out), 0);
}

} // namespace

uint8_t Filler::next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<uint8_t>((state_ >> 16) & 0x7FFF);
}

CallResult embed24(const EmbedArgs& args, const Bytes& carrier, const Bytes& document,
                   Filler& filler) {
    return embedUncompressed(args, carrier, document, filler, false);
}

CallResult embed80(const EmbedArgs& args, const Bytes& carrier, const Bytes& document,
                   Filler& filler) {
    return embedUncompressed(args, carrier, document, filler, true);
}

CallResult embed81(const Rle8Args& a, const Bytes& carrierBytes, const Bytes& documentBytes,
                   Filler& filler) {
    const int64_t blockIndex = narrow16(a.blockIndex);
    const int64_t rowsPerBlock = narrow16(a.rowsPerBlock);
    const int64_t dataOffset = narrow16(a.dataOffset);
    const int64_t cropLeft = narrow16(a.cropLeftPixels);
    const int64_t cropBottom = narrow16(a.cropBottomRows);
    const int64_t outWidth = a.outWidth;

    CallResult out;
    const std::array<std::pair<bool, int32_t>, 7> checks{{
        {rowsPerBlock == 0, -1},
        {dataOffset == 0 || dataOffset > 1078, -2},
        {a.imageWidth == 0, -3},
        {a.outWidth == 0, -4},
        {a.rowCount == 0, -5},
        {a.docLength == 0, -6},
        {a.header.empty(), -7},
    }};
    for (const auto& [failed, code] : checks) {
        if (failed) {
            return fail(std::move(out), code);
        }
    }

    Stream carrier(carrierBytes);
    Stream document(documentBytes);
    const Palette palette = readPalette(carrier, dataOffset);
    Payload payload(a.header, a.docLength, document, filler);
    const int64_t rowLen = ((int64_t{a.imageWidth} - 1) / 4) * 4 + 4;

    enum class Mode { Encoded, AbsoluteEven, AbsoluteOdd };
    uint8_t f = 0;
    uint8_t s = 0;
    auto readPair = [&] {
        f = carrier.get();
        s = carrier.get();
    };
    auto absoluteMode = [&] { return s % 2 != 0 ? Mode::AbsoluteOdd : Mode::AbsoluteEven; };

    int64_t r0 = 0;
    if (blockIndex > 0) {
        r0 = rowsPerBlock * blockIndex;
        if (!document.seek((r0 * outWidth * 3 - payload.headerPairs()) / 4)) {
            return fail(std::move(out), -15);
        }
        if (!carrier.seek(a.resumePos)) {
            return fail(std::move(out), -16);
        }
    } else {
        for (int64_t skipped = 0; skipped < cropBottom; ++skipped) {
            int64_t sum = 0;
            while (sum <= rowLen) {
                readPair();
                if (f > 0) {
                    sum += f;
                } else if (s >= 3) {
                    sum += s;
                    carrier.skip(s + s % 2);
                } else if (sum == rowLen && s == 0) {
                    break;
                } else {
                    return fail(std::move(out), -17);
                }
            }
        }
    }

    int runLeft = 0;
    Mode mode = Mode::Encoded;
    s = 0;
    for (int64_t i = r0; i < a.rowCount; ++i) {
        if (i % rowsPerBlock == 0 && i > r0) {
            const int64_t offset = carrier.tell();
            return fail(std::move(out), offset > std::numeric_limits<int32_t>::max()
                                            ? -23
                                            : static_cast<int32_t>(offset));
        }
        if (cropLeft > 0) {
            int64_t sum = 0;
            while (sum <= cropLeft) {
                readPair();
                if (f > 0) {
                    sum += f;
                    if (sum > cropLeft) {
                        runLeft = static_cast<int>(sum - cropLeft);
                        mode = Mode::Encoded;
                        break;
                    }
                } else if (s >= 3) {
                    sum += s;
                    if (sum <= cropLeft) {
                        carrier.skip(s + s % 2);
                    } else {
                        carrier.skip(s - (sum - cropLeft));
                        mode = absoluteMode();
                        runLeft = static_cast<int>(sum - cropLeft);
                        break;
                    }
                } else {
                    return fail(std::move(out), -18);
                }
            }
        } else {
            readPair();
            if (f > 0) {
                runLeft = f;
                mode = Mode::Encoded;
            } else if (s >= 3) {
                runLeft = s;
                mode = absoluteMode();
            } else {
                return fail(std::move(out), -19);
            }
        }

        for (int64_t col = 0;;) {
            if (runLeft == 0) {
                if (mode == Mode::AbsoluteOdd) {
                    carrier.get();
                }
                readPair();
                if (f > 0) {
                    runLeft = f;
                    mode = Mode::Encoded;
                } else if (s >= 3) {
                    runLeft = s;
                    mode = absoluteMode();
                } else {
                    return fail(std::move(out), -20);
                }
            }
            const uint8_t x = mode == Mode::Encoded ? s : carrier.get();
            --runLeft;
            if (col < outWidth) {
                embedPixel(out, payload, palette[x], i, col, outWidth);
            }
            ++col;
            if (col == rowLen - cropLeft) {
                if (mode == Mode::AbsoluteOdd) {
                    carrier.get();
                }
                readPair();
                if (s > 1) {
                    return fail(std::move(out), -21);
                }
                mode = Mode::Encoded;
                break;
            }
            if (col >= rowLen) {
                break;
            }
        }
        writePad(out, outWidth);
    }
    return fail(std::move(out), 0);
}

CallResult extract(const ExtractArgs& a, const Bytes& imageBytes) {
    const int64_t blockIndex = narrow16(a.blockIndex);
    const int64_t rowsPerBlock = narrow16(a.rowsPerBlock);
    const int64_t dataOffset = narrow16(a.dataOffset);
    const int64_t headerLength = narrow16(a.headerLength);
    const int64_t rowBytes = a.rowBytes;

    CallResult out;
    const std::array<std::pair<bool, int32_t>, 5> checks{{
        {rowsPerBlock < 1, -1},
        {dataOffset < 1, -2},
        {rowBytes < 1, -3},
        {a.docLength < 1, -4},
        {headerLength < 1, -5},
    }};
    for (const auto& [failed, code] : checks) {
        if (failed) {
            return fail(std::move(out), code);
        }
    }

    const int64_t stride = ((rowBytes - 1) / 4) * 4 + 4;
    Stream image(imageBytes);
    if (!image.seek(dataOffset + rowsPerBlock * blockIndex * stride)) {
        return fail(std::move(out), -10);
    }
    int64_t row = 0;
    int64_t col = 0;
    int64_t j0 = 0;
    if (blockIndex == 0) {
        for (int64_t k = 0; k < 4 * headerLength; ++k) {
            image.get();
            if (++col == rowBytes) {
                if (++row == rowsPerBlock) {
                    return fail(std::move(out), -11);
                }
                if (!image.seek(dataOffset + row * stride)) {
                    return fail(std::move(out), -12);
                }
                col = 0;
            }
        }
    } else {
        j0 = (rowsPerBlock * blockIndex * rowBytes) / 4 - headerLength;
    }
    for (auto j = static_cast<uint32_t>(j0); j < static_cast<uint32_t>(a.docLength); ++j) {
        unsigned p = 0;
        for (unsigned t = 0; t < 4; ++t) {
            if (col == rowBytes) {
                if (++row >= rowsPerBlock) {
                    return fail(std::move(out), 1);
                }
                if (!image.seek(dataOffset + (rowsPerBlock * blockIndex + row) * stride)) {
                    return fail(std::move(out), -13);
                }
                col = 0;
            }
            p += (image.get() & 3u) << (2 * t);
            ++col;
        }
        out.written.push_back(static_cast<uint8_t>(p));
    }
    return fail(std::move(out), 0);
}

} // namespace refmodel
