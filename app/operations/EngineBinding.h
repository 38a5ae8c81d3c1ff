#pragma once

#include "operations/Engine.h"

#include <QString>
#include <optional>

namespace brindmar {

// The only place in the program that calls the engine library. The library is loaded from the
// program's own folder, or the private library folder of an installed program, by explicit path
// at the first call, never through the library search
// path, so that a library of the same name elsewhere on the system cannot stand in for it. Each
// export is looked up by name when it is called; a library or export that is missing makes that
// call return nullopt, and the next call tries again, so that an installation repaired while the
// program runs is picked up.
class EngineBinding final : public Engine {
public:
    // The engine's functions, for a binding that calls them where they are linked in instead of
    // loading the library: tests that must reach the engine's own seams. The types are checked
    // against the engine's header where the binding is built.
    using EmbedFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                int32_t, int32_t, const char*, const char*, const char*,
                                const char*);
    using Rle8Fn = int32_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                               int32_t, int32_t, int32_t, const char*, const char*, const char*,
                               const char*);
    using ExtractFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                                  const char*);
    using WipeFn = int32_t (*)(int32_t, const char*);
    struct Exports {
        EmbedFn embed24 = nullptr;
        EmbedFn embed80 = nullptr;
        Rle8Fn embed81 = nullptr;
        ExtractFn extract = nullptr;
        WipeFn wipefile = nullptr;
    };

    // programFolder: the folder of the executable (tests point it at the build's library folder).
    explicit EngineBinding(QString programFolder);
    explicit EngineBinding(const Exports& linked);
    ~EngineBinding() override;

    EngineBinding(const EngineBinding&) = delete;
    EngineBinding& operator=(const EngineBinding&) = delete;

    EngineStatus embed24(const UncompressedEmbedArgs& args) override;
    EngineStatus embed80(const UncompressedEmbedArgs& args) override;
    EngineStatus embed81(const Rle8EmbedArgs& args) override;
    EngineStatus extract(const ExtractArgs& args) override;
    EngineStatus wipefile(int32_t byteCount, const QString& path) override;
    int lastSystemError() const override { return m_lastSystemError; }

    // The full path the library is loaded from.
    QString libraryPath() const;

    // Why the last call could not be made; empty after a call that reached the engine.
    QString lastLoadError() const override { return m_lastLoadError; }

private:
    void* bind(const char* exportName);
    template <typename Fn> Fn resolve(Fn Exports::*linked, const char* exportName);
    template <typename Fn, typename... Args> EngineStatus call(Fn function, Args... args);
    EngineStatus embedUncompressed(EmbedFn Exports::*linked, const char* exportName,
                                   const UncompressedEmbedArgs& args);

    QString m_programFolder;
    std::optional<Exports> m_linked;
    void* m_handle = nullptr;
    QString m_lastLoadError;
    int m_lastSystemError = 0;
};

} // namespace brindmar
