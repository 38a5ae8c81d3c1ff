// A JPEG said to hold a stealth document is any file: whoever has the code may be handed one
// that someone else made, changed or broke. The input is the file itself, opened as extract
// opens it but with a fixed key in place of the derivation, which would only slow the search.
// What is checked is what the opener promises: no crash and no exit from libjpeg; a salt read
// from any file that opens; an outcome the reader can give; and no bytes handed back that the
// seal did not vouch for.
#include "FuzzPromise.h"
#include "protection/JpegStealthFile.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition, const char* what) {
    fuzzpromise::require(condition, "JPEG stealth opener", what);
}

const brindmar::SecretBytes& fixedKey() {
    return fuzzpromise::fixedKey<0x5a>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using brindmar::JpegStealthStatus;
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    brindmar::JpegCoefficients jpeg;
    if (jpeg.open(file) != brindmar::JpegOpenStatus::Done) {
        return 0;
    }
    // The figures a front end shows first: the EXIF's GPS question follows offsets the file
    // gives.
    (void)jpeg.hasGpsPosition();
    (void)brindmar::jpegStealthReadSalt(jpeg);
    (void)brindmar::jpegStealthReadEarlierSalt(jpeg);
    const brindmar::JpegStealthFound found = brindmar::jpegStealthExtractWithKey(jpeg, fixedKey());
    require(found.status == JpegStealthStatus::Done ||
                found.status == JpegStealthStatus::NotFound ||
                found.status == JpegStealthStatus::Damaged ||
                found.status == JpegStealthStatus::NoMemory,
            "an outcome reading cannot give");
    require(found.status == JpegStealthStatus::Done || found.archive.isEmpty(),
            "handed back bytes it did not vouch for");
    return 0;
}
