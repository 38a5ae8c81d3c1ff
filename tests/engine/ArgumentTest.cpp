// Argument checks of the embedders and extract: each failure code, their precedence, the 16-bit
// reading of the narrow arguments, and that no file is touched before the checks pass.

#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace enginetest {
namespace {

// A string holding only a NUL stands for a null pointer.
const std::string kNull(1, '\0');
const char* cstr(const std::string& s) {
    return s == kNull ? nullptr : s.c_str();
}

using Embed13 = int32_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                            int32_t, const char*, const char*, const char*, const char*);

struct EmbedCall {
    Embed13 fn;
    int32_t blockIndex = 0, rowsPerBlock = 4, dataOffset = 54, cropLeft = 0, cropBottomRows = 0,
            rowStride = 12, outWidth = 4, rowCount = 2, docLength = 2;
    std::string header = "H", carrier, document, output;
    int32_t operator()() const {
        return fn(blockIndex, rowsPerBlock, dataOffset, cropLeft, cropBottomRows, rowStride,
                  outWidth, rowCount, docLength, cstr(header), cstr(carrier), cstr(document),
                  cstr(output));
    }
};

struct Rle8Call {
    int32_t blockIndex = 0, resumePos = 0, rowsPerBlock = 4, dataOffset = 1078, cropLeft = 0,
            cropBottomRows = 0, imageWidth = 4, outWidth = 4, rowCount = 2, docLength = 2;
    std::string header = "H", carrier, document, output;
    int32_t operator()() const {
        return embed81(blockIndex, resumePos, rowsPerBlock, dataOffset, cropLeft, cropBottomRows,
                       imageWidth, outWidth, rowCount, docLength, cstr(header), cstr(carrier),
                       cstr(document), cstr(output));
    }
};

struct ExtractCall {
    int32_t blockIndex = 0, rowsPerBlock = 4, dataOffset = 54, rowBytes = 12, docLength = 2,
            headerLength = 1;
    std::string carrier, output;
    int32_t operator()() const {
        return extract(blockIndex, rowsPerBlock, dataOffset, rowBytes, docLength, headerLength,
                       cstr(carrier), cstr(output));
    }
};

template <class Call> struct Check {
    int32_t code;
    std::vector<std::pair<const char*, std::function<void(Call&)>>> ways;
};

// Each way of failing a check, alone, gives its code; and with every later check failing as
// well, the earlier check still decides.
template <class Call>
void expectCheckOrder(const Call& valid, const std::vector<Check<Call>>& checks,
                      const std::function<void()>& expectOutputUntouched) {
    for (const Check<Call>& check : checks) {
        for (const auto& [name, breakIt] : check.ways) {
            SCOPED_TRACE(std::string("only: ") + name);
            Call call = valid;
            breakIt(call);
            EXPECT_EQ(call(), check.code);
            expectOutputUntouched();
        }
    }
    for (size_t k = 0; k < checks.size(); ++k) {
        SCOPED_TRACE(std::string("from this one on: ") + checks[k].ways.front().first);
        Call call = valid;
        for (size_t m = checks.size(); m-- > k;) {
            checks[m].ways.front().second(call);
        }
        EXPECT_EQ(call(), checks[k].code);
        expectOutputUntouched();
    }
}

template <class Call>
using Accepted = std::vector<std::pair<const char*, std::function<void(Call&)>>>;

template <class Call> void expectAccepted(const Call& valid, const Accepted<Call>& cases) {
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        Call call = valid;
        change(call);
        EXPECT_EQ(call(), 0);
    }
}

class ArgumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        bmptest::writeFile(carrier24, bmptest::make24(4, 2, Bytes(24, 0x80)));
        bmptest::writeFile(carrierRle,
                           bmptest::makeRle8(4, 2, bmptest::testPalette(256), Bytes(8, 7), 4));
        bmptest::writeFile(document, Bytes{1, 2});
    }

    void expectNoOutput() const { EXPECT_FALSE(std::filesystem::exists(output)); }

    TempDir dir;
    const std::string carrier24 = dir.file("carrier24.bmp");
    const std::string carrierRle = dir.file("carrier-rle.bmp");
    const std::string document = dir.file("document.bin");
    const std::string output = dir.file("output.bmp");
    const std::string missing = dir.file("missing.bin");
    const std::string unopenable = dir.file("no-such-folder/output.bmp");
};

template <class Call>
std::vector<Check<Call>> stringChecks(int32_t first, const std::string& missing,
                                      const std::string& unopenable) {
    return {
        {first,
         {{"empty header", [](Call& c) { c.header = ""; }},
          {"null header", [](Call& c) { c.header = kNull; }}}},
        {first - 1,
         {{"empty carrier path", [](Call& c) { c.carrier = ""; }},
          {"null carrier path", [](Call& c) { c.carrier = kNull; }}}},
        {first - 2,
         {{"empty document path", [](Call& c) { c.document = ""; }},
          {"null document path", [](Call& c) { c.document = kNull; }}}},
        {first - 3,
         {{"empty output path", [](Call& c) { c.output = ""; }},
          {"null output path", [](Call& c) { c.output = kNull; }}}},
        {first - 4, {{"carrier missing", [missing](Call& c) { c.carrier = missing; }}}},
        {first - 5, {{"document missing", [missing](Call& c) { c.document = missing; }}}},
        {first - 6, {{"output folder missing", [unopenable](Call& c) { c.output = unopenable; }}}},
    };
}

std::vector<Check<EmbedCall>> uncompressedChecks(int32_t rowsPerBlockCode,
                                                 const std::string& missing,
                                                 const std::string& unopenable) {
    std::vector<Check<EmbedCall>> checks{
        {-1, {{"rowStride 0", [](EmbedCall& c) { c.rowStride = 0; }}}},
        {-2, {{"outWidth 0", [](EmbedCall& c) { c.outWidth = 0; }}}},
        {-3, {{"rowCount 0", [](EmbedCall& c) { c.rowCount = 0; }}}},
        {-4,
         {{"dataOffset 0", [](EmbedCall& c) { c.dataOffset = 0; }},
          {"dataOffset 1079", [](EmbedCall& c) { c.dataOffset = 1079; }},
          {"dataOffset 65536 reads as 0", [](EmbedCall& c) { c.dataOffset = 65536; }},
          {"dataOffset 65536 + 1079", [](EmbedCall& c) { c.dataOffset = 65536 + 1079; }}}},
        {rowsPerBlockCode,
         {{"rowsPerBlock 0", [](EmbedCall& c) { c.rowsPerBlock = 0; }},
          {"rowsPerBlock 65536 reads as 0", [](EmbedCall& c) { c.rowsPerBlock = 65536; }}}},
    };
    for (auto& check : stringChecks<EmbedCall>(-5, missing, unopenable)) {
        checks.push_back(std::move(check));
    }
    return checks;
}

// Only 0 is rejected: negative numbers pass, and the 16-bit arguments keep their low half.
Accepted<EmbedCall> uncompressedAccepted() {
    return {
        {"rowStride -12", [](EmbedCall& c) { c.rowStride = -12; }},
        {"outWidth -1", [](EmbedCall& c) { c.outWidth = -1; }},
        {"rowCount -1", [](EmbedCall& c) { c.rowCount = -1; }},
        {"rowsPerBlock -4", [](EmbedCall& c) { c.rowsPerBlock = -4; }},
        {"docLength 0", [](EmbedCall& c) { c.docLength = 0; }},
        {"dataOffset 1078", [](EmbedCall& c) { c.dataOffset = 1078; }},
        {"dataOffset 65590 reads as 54", [](EmbedCall& c) { c.dataOffset = 65590; }},
        {"blockIndex 65536 reads as 0", [](EmbedCall& c) { c.blockIndex = 65536; }},
    };
}

TEST_F(ArgumentTest, Embed24ChecksInOrder) {
    const EmbedCall valid{embed24, 0, 4, 54, 0, 0, 12, 4, 2, 2, "H", carrier24, document, output};
    expectCheckOrder(valid, uncompressedChecks(-14, missing, unopenable),
                     [&] { expectNoOutput(); });
    expectAccepted(valid, uncompressedAccepted());
}

TEST_F(ArgumentTest, Embed80ChecksInOrder) {
    const EmbedCall valid{embed80, 0, 4, 54, 0, 0, 4, 4, 2, 2, "H", carrier24, document, output};
    expectCheckOrder(valid, uncompressedChecks(-15, missing, unopenable),
                     [&] { expectNoOutput(); });
    expectAccepted(valid, uncompressedAccepted());
}

TEST_F(ArgumentTest, Embed81ChecksInOrder) {
    Rle8Call valid;
    valid.carrier = carrierRle;
    valid.document = document;
    valid.output = output;
    std::vector<Check<Rle8Call>> checks{
        {-1,
         {{"rowsPerBlock 0", [](Rle8Call& c) { c.rowsPerBlock = 0; }},
          {"rowsPerBlock 65536 reads as 0", [](Rle8Call& c) { c.rowsPerBlock = 65536; }}}},
        {-2,
         {{"dataOffset 0", [](Rle8Call& c) { c.dataOffset = 0; }},
          {"dataOffset 1079", [](Rle8Call& c) { c.dataOffset = 1079; }},
          {"dataOffset 65536 reads as 0", [](Rle8Call& c) { c.dataOffset = 65536; }}}},
        {-3, {{"imageWidth 0", [](Rle8Call& c) { c.imageWidth = 0; }}}},
        {-4, {{"outWidth 0", [](Rle8Call& c) { c.outWidth = 0; }}}},
        {-5, {{"rowCount 0", [](Rle8Call& c) { c.rowCount = 0; }}}},
        {-6, {{"docLength 0", [](Rle8Call& c) { c.docLength = 0; }}}},
    };
    for (auto& check : stringChecks<Rle8Call>(-7, missing, unopenable)) {
        checks.push_back(std::move(check));
    }
    expectCheckOrder(valid, checks, [&] { expectNoOutput(); });
    expectAccepted(valid,
                   Accepted<Rle8Call>{
                       {"dataOffset 65536 + 1078", [](Rle8Call& c) { c.dataOffset += 65536; }},
                       {"rowsPerBlock -4", [](Rle8Call& c) { c.rowsPerBlock = -4; }},
                       {"rowCount -1", [](Rle8Call& c) { c.rowCount = -1; }},
                       {"docLength -1", [](Rle8Call& c) { c.docLength = -1; }},
                   });
}

TEST_F(ArgumentTest, ExtractChecksInOrderAndLeavesAnOldOutputAlone) {
    const Bytes previous{'o', 'l', 'd'};
    bmptest::writeFile(output, previous);
    ExtractCall valid;
    valid.carrier = carrier24;
    valid.output = output;
    const std::vector<Check<ExtractCall>> checks{
        {-1,
         {{"rowsPerBlock 0", [](ExtractCall& c) { c.rowsPerBlock = 0; }},
          {"rowsPerBlock -4", [](ExtractCall& c) { c.rowsPerBlock = -4; }},
          {"rowsPerBlock 65536 reads as 0", [](ExtractCall& c) { c.rowsPerBlock = 65536; }}}},
        {-2,
         {{"dataOffset 0", [](ExtractCall& c) { c.dataOffset = 0; }},
          {"dataOffset -54", [](ExtractCall& c) { c.dataOffset = -54; }},
          {"dataOffset 65536 reads as 0", [](ExtractCall& c) { c.dataOffset = 65536; }}}},
        {-3,
         {{"rowBytes 0", [](ExtractCall& c) { c.rowBytes = 0; }},
          {"rowBytes -3", [](ExtractCall& c) { c.rowBytes = -3; }}}},
        {-4,
         {{"docLength 0", [](ExtractCall& c) { c.docLength = 0; }},
          {"docLength -1", [](ExtractCall& c) { c.docLength = -1; }}}},
        {-5,
         {{"headerLength 0", [](ExtractCall& c) { c.headerLength = 0; }},
          {"headerLength -1", [](ExtractCall& c) { c.headerLength = -1; }},
          {"headerLength 65536 reads as 0", [](ExtractCall& c) { c.headerLength = 65536; }}}},
        {-6,
         {{"empty image path", [](ExtractCall& c) { c.carrier = ""; }},
          {"null image path", [](ExtractCall& c) { c.carrier = kNull; }}}},
        {-7,
         {{"empty output path", [](ExtractCall& c) { c.output = ""; }},
          {"null output path", [](ExtractCall& c) { c.output = kNull; }}}},
        {-8, {{"image missing", [this](ExtractCall& c) { c.carrier = missing; }}}},
        {-9, {{"output folder missing", [this](ExtractCall& c) { c.output = unopenable; }}}},
    };
    expectCheckOrder(valid, checks, [&] { EXPECT_EQ(bmptest::readFile(output), previous); });
    expectAccepted(
        valid,
        Accepted<ExtractCall>{
            {"dataOffset 65590 reads as 54", [](ExtractCall& c) { c.dataOffset = 65590; }},
            {"headerLength 65537 reads as 1", [](ExtractCall& c) { c.headerLength = 65537; }},
            {"rowsPerBlock 65540 reads as 4", [](ExtractCall& c) { c.rowsPerBlock = 65540; }},
        });
}

// An output that opens but refuses every write must not be reported as complete.
TEST_F(ArgumentTest, FailedWritesAreReported) {
    const char* full = "/dev/full";
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const char* c24 = carrier24.c_str();
    const char* doc = document.c_str();
    EXPECT_EQ(embed24(0, 4, 54, 0, 0, 12, 4, 2, 2, "H", c24, doc, full), -15);
    EXPECT_EQ(embed80(0, 4, 54, 0, 0, 4, 4, 2, 2, "H", c24, doc, full), -16);
    EXPECT_EQ(embed81(0, 0, 4, 1078, 0, 0, 4, 4, 2, 2, "H", carrierRle.c_str(), doc, full), -22);
    EXPECT_EQ(extract(0, 4, 54, 12, 2, 1, c24, full), -14);
    // Only an ordinary file is wiped: zeros a device swallows overwrite nothing.
    EXPECT_EQ(wipefile(10, full), -6);
}

// The narrow arguments are read as their low 16 bits, sign-extended, so wrapped values must
// produce the very same output as the plain ones.
TEST(SixteenBitArguments, WrappedValuesActLikeTheirLowHalf) {
    std::mt19937 rng(16);
    EmbedJob plain;
    plain.carrier = bmptest::make24(6, 9, randomBytes(rng, 6 * 9 * 3));
    plain.document = randomBytes(rng, 20);
    plain.header = "wrap";
    plain.rowsPerBlock = 4;
    plain.cropLeft = 3;
    plain.cropBottomRows = 2;
    plain.rowStride = bmptest::stride24(6);
    plain.outWidth = 5;
    plain.rowCount = 7;
    plain.docLength = 20;
    EmbedJob wrapped = plain;
    wrapped.rowsPerBlock += 65536;
    wrapped.dataOffset += 3 * 65536;
    wrapped.cropLeft -= 65536;
    wrapped.cropBottomRows += 65536;
    const Outcome a = onFreshThread([&] { return engineEmbed(plain); });
    const Outcome b = onFreshThread([&] { return engineEmbed(wrapped); });
    EXPECT_EQ(a.statuses, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(b.statuses, a.statuses);
    EXPECT_TRUE(sameBytes(b.output, a.output));

    ExtractJob back{a.output, 4, 54, 15, 20, 4};
    ExtractJob backWrapped{a.output, 4 + 65536, 54 - 65536, 15, 20, 4 + 2 * 65536};
    const Outcome docA = engineExtract(back);
    const Outcome docB = engineExtract(backWrapped);
    EXPECT_TRUE(sameBytes(docA.output, plain.document));
    EXPECT_TRUE(sameBytes(docB.output, plain.document));
}

} // namespace
} // namespace enginetest
