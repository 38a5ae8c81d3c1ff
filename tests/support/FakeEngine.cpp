#include "FakeEngine.h"

namespace brindmar::testing {

EngineStatus FakeEngine::answer(Call call) {
    const Export which = call.which;
    m_calls.push_back(std::move(call));
    if (m_missing) {
        return std::nullopt;
    }
    std::deque<EngineStatus>& script = m_script[which];
    if (script.empty()) {
        return m_fallback[which];
    }
    const EngineStatus status = script.front();
    script.pop_front();
    return status;
}

EngineStatus FakeEngine::embed24(const UncompressedEmbedArgs& args) {
    return answer({Export::Embed24, args.blockIndex, args.carrierPath});
}

EngineStatus FakeEngine::embed80(const UncompressedEmbedArgs& args) {
    return answer({Export::Embed80, args.blockIndex, args.carrierPath});
}

EngineStatus FakeEngine::embed81(const Rle8EmbedArgs& args) {
    return answer({Export::Embed81, args.blockIndex, args.carrierPath});
}

EngineStatus FakeEngine::extract(const ExtractArgs& args) {
    return answer({Export::Extract, args.blockIndex, args.carrierPath});
}

EngineStatus FakeEngine::wipefile(int32_t byteCount, const QString& path) {
    return answer({Export::Wipefile, byteCount, path});
}

} // namespace brindmar::testing
