// Feeds arbitrary bytes to the strong opener as a sealed document, since an image's payload can
// hold anything, and checks what it promises: no crash, a known outcome, a prelude refused
// exactly when the prelude reader refuses it, and for a document it accepts, every input byte
// accounted for as prelude, chunk overhead or archive text.
//
// The key is fixed and used as it is, with no derivation, so that a run costs the opening alone;
// the seeds are sealed with the same key and payload header, in both layouts, so that mutations
// start from documents that open. A committed prelude opens only when its commitment is that of
// the fixed key.
#include "FuzzPromise.h"
#include "protection/StrongSeal.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view kHeader = "fuzz payload header 0123456789";

void require(bool condition, const char* what) {
    fuzzpromise::require(condition, "strong opener", what);
}

const brindmar::SecretBytes& fixedKey() {
    return fuzzpromise::fixedKey<0x42>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using brindmar::SealEnd;
    const std::optional<brindmar::SealPrelude> prelude = brindmar::decodePrelude(data, size);

    QByteArray sealed =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QByteArray archive;
    QBuffer in(&sealed);
    QBuffer out(&archive);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    int64_t chunks = 1;
    const SealEnd end = brindmar::openStream(in, out, kHeader, fixedKey(), [&] {
        ++chunks;
        return true;
    });

    const auto length = static_cast<int64_t>(size);
    // Only the committed layout's prelude is longer; one of a layout it does not know is judged
    // from the first layout's length, as soon as that much is there.
    const auto preludeLength = static_cast<int64_t>(
        size > 0 && data[0] == brindmar::kSealLayoutCommitted ? brindmar::kSealPreludeLength
                                                              : brindmar::kSealPreludeLengthV1);
    switch (end) {
    case SealEnd::Done: {
        require(prelude.has_value(), "opened a document whose prelude is refused");
        // Every chunk but the last is full and the last is short: the input's length alone
        // says how many chunks there are.
        const int64_t fullChunk =
            (int64_t{1} << prelude->chunkLog2) + static_cast<int64_t>(brindmar::kChunkOverhead);
        require((length - preludeLength) / fullChunk + 1 == chunks, "chunk count");
        require(static_cast<int64_t>(archive.size()) ==
                    length - preludeLength -
                        static_cast<int64_t>(brindmar::kChunkOverhead) * chunks,
                "archive length is not the sealed length less prelude and overhead");
        require(!in.bytesAvailable(), "input left unread");
        break;
    }
    case SealEnd::Unsupported:
        require(length >= preludeLength && !prelude.has_value(), "refused a prelude it takes");
        break;
    case SealEnd::WrongCode:
        // Only a prelude it takes tells a wrong key: by its commitment, or in layout 1 by a
        // chunk.
        require(prelude.has_value(), "judged a key against a refused prelude");
        if (prelude->layout == brindmar::kSealLayoutCommitted) {
            require(prelude->commitment != brindmar::keyCommitment(fixedKey()),
                    "called the committed key wrong");
        }
        break;
    case SealEnd::Damaged:
        require(length < preludeLength || prelude.has_value(), "read past a refused prelude");
        // With a commitment, damage is told only once the key is known to be the right one.
        require(!prelude || prelude->layout != brindmar::kSealLayoutCommitted ||
                    prelude->commitment == brindmar::keyCommitment(fixedKey()),
                "called a wrong key damage");
        break;
    case SealEnd::Stopped:
    case SealEnd::ReadFailed:
    case SealEnd::WriteFailed:
        require(false, "an outcome a memory buffer cannot give");
        break;
    default:
        require(false, "unknown outcome");
    }
    return 0;
}
