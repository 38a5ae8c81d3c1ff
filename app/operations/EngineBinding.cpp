#include "operations/EngineBinding.h"

#include "util/ProgramFolders.h"
#include "vokbfn1.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <dlfcn.h>
#include <type_traits>
#include <utility>

namespace brindmar {

namespace {

const QString kLibraryFileName = QStringLiteral("libvokbfn1.so");

// The types come from the engine's own header, so a changed export signature fails to compile
// here instead of corrupting arguments at run time. decltype does not reference the functions,
// so the program never links the library directly.
static_assert(std::is_same_v<EngineBinding::EmbedFn, decltype(&::embed24)>);
static_assert(std::is_same_v<EngineBinding::EmbedFn, decltype(&::embed80)>);
static_assert(std::is_same_v<EngineBinding::Rle8Fn, decltype(&::embed81)>);
static_assert(std::is_same_v<EngineBinding::ExtractFn, decltype(&::extract)>);
static_assert(std::is_same_v<EngineBinding::WipeFn, decltype(&::wipefile)>);

} // namespace

EngineBinding::EngineBinding(QString programFolder) : m_programFolder(std::move(programFolder)) {}

EngineBinding::EngineBinding(const Exports& linked) : m_linked(linked) {}

EngineBinding::~EngineBinding() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

QString EngineBinding::libraryPath() const {
    // An absolute path always contains a separator, which is what keeps dlopen away from the
    // search path; a relative or empty folder would otherwise let it search.
    // Looked for on each load: a library put in place while the program runs is found.
    return QDir(engineFolder(m_programFolder)).absoluteFilePath(kLibraryFileName);
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

template <typename Fn> Fn EngineBinding::resolve(Fn Exports::*linked, const char* exportName) {
    if (m_linked) {
        m_lastLoadError.clear();
        return (*m_linked).*linked;
    }
    return reinterpret_cast<Fn>(bind(exportName));
}

template <typename Fn, typename... Args>
EngineStatus EngineBinding::call(Fn function, Args... args) {
    m_lastSystemError = 0;
    if (function == nullptr) {
        return std::nullopt;
    }
    // The engine leaves the reason for a failure in errno; nothing else may run in between.
    errno = 0;
    const int32_t status = function(args...);
    m_lastSystemError = errno;
    return status;
}

// embed24 and embed80 share one signature; only the export differs.
EngineStatus EngineBinding::embedUncompressed(EmbedFn Exports::*linked, const char* exportName,
                                              const UncompressedEmbedArgs& a) {
    const EmbedFn function = resolve(linked, exportName);
    const QByteArray carrier = QFile::encodeName(a.carrierPath);
    const QByteArray document = QFile::encodeName(a.documentPath);
    const QByteArray output = QFile::encodeName(a.outputPath);
    return call(function, int32_t{a.blockIndex}, int32_t{a.rowsPerBlock}, int32_t{a.dataOffset},
                int32_t{a.cropLeftBytes}, int32_t{a.cropBottomRows}, a.rowStride, a.outWidth,
                a.rowCount, a.docLength, a.header.constData(), carrier.constData(),
                document.constData(), output.constData());
}

EngineStatus EngineBinding::embed24(const UncompressedEmbedArgs& a) {
    return embedUncompressed(&Exports::embed24, "embed24", a);
}

EngineStatus EngineBinding::embed80(const UncompressedEmbedArgs& a) {
    return embedUncompressed(&Exports::embed80, "embed80", a);
}

EngineStatus EngineBinding::embed81(const Rle8EmbedArgs& a) {
    const Rle8Fn function = resolve(&Exports::embed81, "embed81");
    const QByteArray carrier = QFile::encodeName(a.carrierPath);
    const QByteArray document = QFile::encodeName(a.documentPath);
    const QByteArray output = QFile::encodeName(a.outputPath);
    return call(function, int32_t{a.blockIndex}, a.resumePos, int32_t{a.rowsPerBlock},
                int32_t{a.dataOffset}, int32_t{a.cropLeftPixels}, int32_t{a.cropBottomRows},
                a.imageWidth, a.outWidth, a.rowCount, a.docLength, a.header.constData(),
                carrier.constData(), document.constData(), output.constData());
}

EngineStatus EngineBinding::extract(const ExtractArgs& a) {
    const ExtractFn function = resolve(&Exports::extract, "extract");
    const QByteArray carrier = QFile::encodeName(a.carrierPath);
    const QByteArray output = QFile::encodeName(a.outputPath);
    return call(function, int32_t{a.blockIndex}, int32_t{a.rowsPerBlock}, int32_t{a.dataOffset},
                a.rowBytes, a.docLength, int32_t{a.headerLength}, carrier.constData(),
                output.constData());
}

EngineStatus EngineBinding::wipefile(int32_t byteCount, const QString& path) {
    const WipeFn function = resolve(&Exports::wipefile, "wipefile");
    const QByteArray encoded = QFile::encodeName(path);
    return call(function, byteCount, encoded.constData());
}

} // namespace brindmar
