#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace brindmar {

// An engine status, or nullopt when the call could not be made at all (the library or one of its
// exports is missing). The workflows treat nullopt as a run-time failure of their own, distinct
// from every status the engine can return.
using EngineStatus = std::optional<int32_t>;

// Arguments the engine takes as 16-bit values are int16_t here, so that a caller narrowing a
// computed value does it visibly; the engine would read only the low 16 bits anyway.

struct UncompressedEmbedArgs {
    int16_t blockIndex = 0;
    int16_t rowsPerBlock = 0;
    int16_t dataOffset = 0;
    int16_t cropLeftBytes = 0; // pixels for an 8-bit carrier, bytes for a 24-bit one
    int16_t cropBottomRows = 0;
    int32_t rowStride = 0;
    int32_t outWidth = 0;
    int32_t rowCount = 0;
    int32_t docLength = 0;
    QByteArray header;
    QString carrierPath;
    QString documentPath;
    QString outputPath;
};

struct Rle8EmbedArgs {
    int16_t blockIndex = 0;
    int32_t resumePos = 0;
    int16_t rowsPerBlock = 0;
    int16_t dataOffset = 0;
    int16_t cropLeftPixels = 0;
    int16_t cropBottomRows = 0;
    int32_t imageWidth = 0;
    int32_t outWidth = 0;
    int32_t rowCount = 0;
    int32_t docLength = 0;
    QByteArray header;
    QString carrierPath;
    QString documentPath;
    QString outputPath;
};

struct ExtractArgs {
    int16_t blockIndex = 0;
    int16_t rowsPerBlock = 0;
    int16_t dataOffset = 0;
    int32_t rowBytes = 0;
    int32_t docLength = 0;
    int16_t headerLength = 0;
    QString carrierPath;
    QString outputPath;
};

// The engine exports the program calls. The production implementation is EngineBinding; tests
// stand in with a scripted engine to reach statuses a real file cannot produce on demand.
class Engine {
public:
    virtual ~Engine() = default;

    virtual EngineStatus embed24(const UncompressedEmbedArgs& args) = 0;
    virtual EngineStatus embed80(const UncompressedEmbedArgs& args) = 0;
    virtual EngineStatus embed81(const Rle8EmbedArgs& args) = 0;
    virtual EngineStatus extract(const ExtractArgs& args) = 0;
    virtual EngineStatus wipefile(int32_t byteCount, const QString& path) = 0;

    // errno as the last call left it, which says why a failure status came: EIO for a read the
    // disk refused, ENOSPC for a full disk, ENODATA for a document that ended before its length.
    // 0 when the engine gave no reason.
    virtual int lastSystemError() const { return 0; }

    // Why the last call could not reach the engine at all (its library missing or unreadable),
    // in the system's words; empty when it did or when nothing is known.
    virtual QString lastLoadError() const { return {}; }
};

} // namespace brindmar
