#include "workflows/CarrierInspection.h"
#include "WorkflowHarness.h"
#include "payload/DosDateTime.h"
#include "payload/PayloadHeader.h"

#include <functional>
#include <gtest/gtest.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

Bytes carrier24(int32_t width, int32_t height) {
    return bmptest::make24(width, height, Bytes(size_t(width) * 3 * size_t(height), 0x80));
}

Bytes edited(Bytes bytes, const std::function<void(Bytes&)>& edit) {
    edit(bytes);
    return bytes;
}

// A carrier whose low bits hold a payload for a 5-byte document "a.txt", made with storedCode.
Bytes withPayload(const QString& storedCode) {
    const std::string header = composePayloadHeader(storedCode, formatDateField({}, {}),
                                                    StorageMode::AsIs, NameRoute::Own, 5, "a.txt");
    return apptest::payloadImage(60, 60, header + "hello");
}

struct InspectionCase {
    const char* name;
    Bytes bytes;
    uint8_t validity;
    uint8_t state; // window state after the evaluation
    const char* embedMax;
    const char* cropPercent = "";
    int32_t payloadLength = 0; // with a document of a 10-character name when above 0
    QString code = QString();
};

std::vector<InspectionCase> inspectionCases() {
    using apptest::put16;
    using apptest::put32;
    const uint8_t chosen = state::BmpChosen;
    const uint8_t usable = state::BmpChosen | state::BmpUsable;
    const uint8_t withDocument = usable | state::DocumentChosen;
    const Bytes small = carrier24(10, 10); // 374 bytes
    return {
        {"24-bit 100x100", carrier24(100, 100), 0, usable, "7398"},
        {"document fits", carrier24(100, 100), 0, withDocument | state::EmbedPossible, "7400", "86",
         1000},
        {"crop capped at 99", carrier24(100, 100), 0, withDocument | state::EmbedPossible, "7400",
         "99", 10},
        {"document too large", carrier24(100, 100), 0, withDocument, "7400", "", 7501},
        {"below 381 colour bytes", small, 0, usable, "0"},
        {"8-bit RLE", bmptest::makeRle8(20, 20, bmptest::testPalette(4), Bytes(20 * 20, 1), 20), 0,
         usable, "198"},
        {"4-bit", edited(small, [](Bytes& b) { put16(b, 28, 4); }), 1, chosen, ""},
        {"16-bit", edited(small, [](Bytes& b) { put16(b, 28, 16); }), 1, 0, ""},
        {"OS/2 header", edited(small, [](Bytes& b) { put32(b, 14, 12); }), 2, 0, ""},
        {"MZ file", edited(small, [](Bytes& b) { b[0] = 'M', b[1] = 'Z'; }), 3, 0, ""},
        {"24-bit compression 3", edited(small, [](Bytes& b) { put32(b, 30, 3); }), 4, 0, ""},
        {"8-bit RLE4",
         edited(bmptest::make8(8, 8, bmptest::testPalette(4), Bytes(64, 1)),
                [](Bytes& b) { put32(b, 30, 2); }),
         4, 0, ""},
        {"zero width", edited(small, [](Bytes& b) { put32(b, 18, 0); }), 4, 0, ""},
        {"negative height", edited(small, [](Bytes& b) { put32(b, 22, uint32_t(-10)); }), 4, 0, ""},
        {"pixel data beyond the file", edited(small, [](Bytes& b) { put32(b, 10, 400); }), 4, 0,
         ""},
        {"rows cut short", edited(small, [](Bytes& b) { b.pop_back(); }), 4, 0, ""},
        {"colour bytes beyond 32 bits",
         edited(small, [](Bytes& b) { put32(b, 18, 40000), put32(b, 22, 40000); }), 4, 0, ""},
        {"payload found", withPayload(""), 0, usable | state::PayloadFound, "2598"},
        {"payload with the code entered", withPayload("0123456789"), 0,
         usable | state::PayloadFound, "2598", "", 0, "0123456789"},
        {"payload with another code", withPayload("0123456789"), 0, usable, "2598", "", 0,
         "9876543210"},
    };
}

class Inspection : public ::testing::TestWithParam<InspectionCase> {};

TEST_P(Inspection, JudgesTheCarrier) {
    const InspectionCase& c = GetParam();
    apptest::Harness h;
    h.model.code = c.code;
    if (c.payloadLength > 0) {
        h.model.windowState = state::DocumentChosen;
        h.model.payloadLength = c.payloadLength;
        h.model.nameLength = 10;
    }
    h.model.documentPath = "/docs/file.txt";
    InspectCarrier(h.ctx, inspect::Evaluate, h.file("carrier.bmp", c.bytes));

    EXPECT_EQ(h.model.carrierCheckResult, c.validity);
    EXPECT_EQ(h.model.windowState, c.state);
    EXPECT_EQ(h.model.display.embedMax, QString::fromLatin1(c.embedMax));
    EXPECT_EQ(h.model.display.cropPercent, QString::fromLatin1(c.cropPercent));
    const bool extract = (c.state & state::PayloadFound) != 0;
    EXPECT_EQ(h.model.display.extractLayout, extract);
    EXPECT_EQ(h.model.display.documentBox, extract ? "a.txt" : "/docs/file.txt");
    EXPECT_TRUE(h.ui.events().empty()); // evaluation alone is silent
}

INSTANTIATE_TEST_SUITE_P(Carriers, Inspection, ::testing::ValuesIn(inspectionCases()),
                         apptest::RowName());

TEST(InspectionReport, TellsWhyAFileCannotBeUsed) {
    struct Case {
        QString name;
        Bytes bytes;
        QString expected;
    };
    apptest::Harness h;
    const std::vector<Case> cases = {
        {"picture.png", carrier24(20, 20),
         "beep 1|" + h.dir.path("picture.png") + "\n - is not a BMP file"},
        {"CAPITALS.BMP", carrier24(20, 20), ""},
        {"mz.bmp", {'M', 'Z', 0, 0}, "beep 2|" + h.dir.path("mz.bmp") + "\n - cannot be read"},
    };
    for (const Case& c : cases) {
        h.ui.clear();
        InspectCarrier(h.ctx, inspect::Report, h.file(c.name, c.bytes));
        const QStringList t = h.ui.transcript();
        const QString seen = t.isEmpty() ? QString() : t[0] + u'|' + t[1].section(u'|', 2);
        EXPECT_EQ(seen, c.expected) << c.name.toStdString();
    }
    h.ui.clear();
    InspectCarrier(h.ctx, inspect::Report | inspect::Evaluate, h.dir.path("missing.bmp"));
    EXPECT_EQ(h.ui.transcript().last(), "message Exclamation|BMP file|" +
                                            h.dir.path("missing.bmp") + "\n - cannot be opened");
    EXPECT_EQ(h.model.carrierCheckResult, 4);
}

TEST(InspectionReport, ShortCodeIsRefusedButTheEvaluationGoesOn) {
    apptest::Harness h;
    h.model.code = "12345";
    InspectCarrier(h.ctx, inspect::Evaluate, h.file("c.bmp", carrier24(20, 20)));
    EXPECT_EQ(h.ui.transcript(),
              QStringList({"beep 1", "message Exclamation|Code entry Error|Code must be either "
                                     "empty or 10 to 20 characters long"}));
    EXPECT_EQ(h.model.display.focus, FocusTarget::CodeBox);
    EXPECT_EQ(h.model.windowState, state::BmpChosen | state::BmpUsable);
}

} // namespace
