#pragma once

#include "payload/CarrierNormalizer.h"
#include "workflows/Outcome.h"

#include <QString>

namespace brindmar {

// Words both front ends put in their own sentences about an embed that failed, written once.

// Why the pixels of a compressed carrier cannot be followed, after the invalid-file words; none
// for any other fault.
inline QString carrierFaultWords(int64_t fault) {
    switch (static_cast<CarrierFault>(fault)) {
    case CarrierFault::PastRowEnd:
        return QStringLiteral(": its compressed pixels go past the end of a row");
    case CarrierFault::EndsEarly:
        return QStringLiteral(": its compressed pixels end before the image does");
    default:
        return {};
    }
}

// Why a document that travels packed only could not be read: the packing it needed failed;
// none for any other cause.
inline QString notPackedWords(Cause why) {
    switch (why) {
    case Cause::SealPacking:
        return QStringLiteral("strong protection seals a packed document only, and packing it "
                              "failed");
    case Cause::EncryptPacking:
        return QStringLiteral("it was to be encrypted, which needs it packed, and packing it "
                              "failed");
    case Cause::NamePacking:
        return QStringLiteral("its name can be kept only in a packed document, and packing it "
                              "failed");
    case Cause::EmptyPacking:
        return QStringLiteral("an empty document can be hidden only packed, and packing it "
                              "failed");
    default:
        return {};
    }
}

} // namespace brindmar
