#include "operations/EngineBinding.h"

#include "vokbfn1.h"

#include <QDir>
#include <QFile>
#include <dlfcn.h>
#include <type_traits>
#include <utility>

namespace brindmar {

namespace {

const QString kLibraryFileName = QStringLiteral("libvokbfn1.so");

// The types come from the engine's own header, so a changed export signature fails to compile
// here instead of corrupting arguments at run time. decltype does not reference the functions,
// so the program never links the library directly.
using Embed24Fn = decltype(&::embed24);
using Embed80Fn = decltype(&::embed80);
using Embed81Fn = decltype(&::embed81);
using ExtractFn = decltype(&::extract);
using WipefileFn = decltype(&::wipefile);

template <typename Fn> Fn as(void* symbol) {
    return reinterpret_cast<Fn>(symbol);
}

} // namespace

EngineBinding::EngineBinding(QString programFolder) : m_programFolder(std::move(programFolder)) {}

EngineBinding::~EngineBinding() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

QString EngineBinding::libraryPath() const {
    // An absolute path always contains a separator, which is what keeps dlopen away from the
    // search path; a relative or empty folder would otherwise let it search.
    return QDir(m_programFolder).absoluteFilePath(kLibraryFileName);
}

void* EngineBinding::bind(const char* exportName) {
    m_lastLoadError.clear();
    if (m_handle == nullptr) {
        const QByteArray path = QFile::encodeName(libraryPath());
        m_handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr) {
            const char* reason = dlerror();
            m_lastLoadError = QString::fromLocal8Bit(reason != nullptr ? reason : "dlopen failed");
            return nullptr;
        }
    }
    dlerror();
    void* symbol = dlsym(m_handle, exportName);
    if (symbol == nullptr) {
        const char* reason = dlerror();
        m_lastLoadError = QString::fromLocal8Bit(reason != nullptr ? reason : "missing export");
    }
    return symbol;
}

// embed24 and embed80 share one signature; only the export differs.
EngineStatus EngineBinding::embedUncompressed(const char* exportName,
                                              const UncompressedEmbedArgs& a) {
    void* symbol = bind(exportName);
    if (symbol == nullptr) {
        return std::nullopt;
    }
    static_assert(std::is_same_v<Embed24Fn, Embed80Fn>);
    return as<Embed24Fn>(symbol)(a.blockIndex, a.rowsPerBlock, a.dataOffset, a.cropLeftBytes,
                                 a.cropBottomRows, a.rowStride, a.outWidth, a.rowCount, a.docLength,
                                 a.header.constData(), QFile::encodeName(a.carrierPath).constData(),
                                 QFile::encodeName(a.documentPath).constData(),
                                 QFile::encodeName(a.outputPath).constData());
}

EngineStatus EngineBinding::embed24(const UncompressedEmbedArgs& a) {
    return embedUncompressed("embed24", a);
}

EngineStatus EngineBinding::embed80(const UncompressedEmbedArgs& a) {
    return embedUncompressed("embed80", a);
}

EngineStatus EngineBinding::embed81(const Rle8EmbedArgs& a) {
    void* symbol = bind("embed81");
    if (symbol == nullptr) {
        return std::nullopt;
    }
    return as<Embed81Fn>(symbol)(
        a.blockIndex, a.resumePos, a.rowsPerBlock, a.dataOffset, a.cropLeftPixels, a.cropBottomRows,
        a.imageWidth, a.outWidth, a.rowCount, a.docLength, a.header.constData(),
        QFile::encodeName(a.carrierPath).constData(), QFile::encodeName(a.documentPath).constData(),
        QFile::encodeName(a.outputPath).constData());
}

EngineStatus EngineBinding::extract(const ExtractArgs& a) {
    void* symbol = bind("extract");
    if (symbol == nullptr) {
        return std::nullopt;
    }
    return as<ExtractFn>(symbol)(
        a.blockIndex, a.rowsPerBlock, a.dataOffset, a.rowBytes, a.docLength, a.headerLength,
        QFile::encodeName(a.carrierPath).constData(), QFile::encodeName(a.outputPath).constData());
}

EngineStatus EngineBinding::wipefile(int32_t byteCount, const QString& path) {
    void* symbol = bind("wipefile");
    if (symbol == nullptr) {
        return std::nullopt;
    }
    return as<WipefileFn>(symbol)(byteCount, QFile::encodeName(path).constData());
}

} // namespace brindmar
