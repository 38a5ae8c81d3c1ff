#pragma once

// An engine that answers from a script, for the statuses a real file cannot be made to produce
// on demand (a file the engine cannot open while the tests run as root, a failure in the middle
// of a block loop). It does no work on any file.

#include "operations/Engine.h"

#include <QString>
#include <deque>
#include <map>
#include <vector>

namespace brindmar::testing {

class FakeEngine final : public Engine {
public:
    enum class Export { Embed24, Embed80, Embed81, Extract, Wipefile };

    struct Call {
        Export which = Export::Wipefile;
        int32_t blockIndex = 0; // byteCount for wipefile
        QString path;           // the carrier, or the wiped file
    };

    // Each call of the export takes the next status; with none left it returns fallback.
    void queue(Export which, EngineStatus status) { m_script[which].push_back(status); }
    void setFallback(Export which, EngineStatus status) { m_fallback[which] = status; }
    // Missing: every call returns nullopt, as when the library cannot be loaded.
    void setMissing(bool missing) { m_missing = missing; }

    const std::vector<Call>& calls() const { return m_calls; }

    EngineStatus embed24(const UncompressedEmbedArgs& args) override;
    EngineStatus embed80(const UncompressedEmbedArgs& args) override;
    EngineStatus embed81(const Rle8EmbedArgs& args) override;
    EngineStatus extract(const ExtractArgs& args) override;
    EngineStatus wipefile(int32_t byteCount, const QString& path) override;

private:
    EngineStatus answer(Call call);

    std::map<Export, std::deque<EngineStatus>> m_script;
    // Without a script: 0 (all done) from the block operations, -1 (written) from the wipe.
    std::map<Export, EngineStatus> m_fallback = {{Export::Embed24, 0},
                                                 {Export::Embed80, 0},
                                                 {Export::Embed81, 0},
                                                 {Export::Extract, 0},
                                                 {Export::Wipefile, -1}};
    bool m_missing = false;
    std::vector<Call> m_calls;
};

} // namespace brindmar::testing
