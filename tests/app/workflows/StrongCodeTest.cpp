// The code of a strong embed is typed twice, and the new image is opened with it before it takes
// any file's place; an image's request for cost is judged before anything is derived; Stop ends
// a derivation's wait at once.
#include "WorkflowHarness.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/StrongProtection.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

const QString kCode = QStringLiteral("Correct Horse 12");
constexpr StrongCost kCheap{1, 8};

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The real engine, except that what it extracts comes out with its last byte changed: an image
// that does not give back what was sealed into it.
class AlteringEngine final : public Engine {
public:
    explicit AlteringEngine(Engine& real) : m_real(real) {}
    EngineStatus embed24(const UncompressedEmbedArgs& a) override { return m_real.embed24(a); }
    EngineStatus embed80(const UncompressedEmbedArgs& a) override { return m_real.embed80(a); }
    EngineStatus embed81(const Rle8EmbedArgs& a) override { return m_real.embed81(a); }
    EngineStatus wipefile(int32_t n, const QString& p) override { return m_real.wipefile(n, p); }
    EngineStatus extract(const ExtractArgs& args) override {
        const EngineStatus status = m_real.extract(args);
        if (status && *status == 0) {
            QFile out(args.outputPath);
            if (out.open(QIODevice::ReadWrite) && out.seek(out.size() - 1)) {
                const char last = out.read(1).at(0);
                out.seek(out.size() - 1);
                out.write(QByteArray(1, static_cast<char>(last ^ 1)));
            }
        }
        return status;
    }

private:
    Engine& m_real;
};

// A strong embed of a small document, through ctx, with the code typed a second time as again.
struct Embed : apptest::UserSession {
    apptest::ScratchDir out;

    Embed() : UserSession(kCode) {
        h.ctx.strongCost = kCheap;
        ToggleStrong(h.ctx);
        h.dir.write(QStringLiteral("a.txt"), std::string(700, 'a'));
        h.file(QStringLiteral("c.bmp"), bmptest::make24(80, 80, Bytes(80 * 80 * 3, 7)));
        h.model.embedOutputFolder = out.folder();
    }
    void run(WorkflowContext& ctx, std::optional<QString> again) {
        chooseDocument(h.dir.path(QStringLiteral("a.txt")));
        chooseCarrier(h.dir.path(QStringLiteral("c.bmp")));
        h.ui.queueCodeAgain(std::move(again));
        h.ui.clear();
        EmbedDocument(ctx);
    }
    QString said() const { return messages().join(u'\n'); }
};

TEST(StrongCode, AskedTwiceAndOpenedBeforeTheImageIsWritten) {
    const struct {
        const char* what;
        std::optional<QString> again;
        bool alterExtraction;
        bool written;
        const char16_t* said;
    } cases[] = {
        {"the same", kCode, false, true, u"File Embedding processed successfully"},
        {"the same with a no-break space after it", kCode + QChar(0x00A0), false, true,
         u"File Embedding processed successfully"},
        {"a typing error", QStringLiteral("Correct Horse 13"), false, false,
         u"The two codes differ, so nothing was embedded"},
        {"cancelled", std::nullopt, false, false, nullptr},
        {"an image that does not give the document back", kCode, true, false,
         u"was not written: its sealed document does not open with this code"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Embed e;
        AlteringEngine altering(e.h.engine);
        WorkflowContext ctx{e.h.model,    e.h.ui,   e.h.zip,          altering,
                            e.h.platform, e.h.view, e.h.dir.folder(), e.h.temp.folder()};
        ctx.strongCost = kCheap;
        ctx.outcomes = &e.h.outcomes;
        e.run(c.alterExtraction ? ctx : e.h.ctx, c.again);
        ASSERT_EQ(e.h.ui.codeRequests().size(), 1u);
        EXPECT_EQ(entries(e.out.folder()).size(), c.written ? 1 : 0);
        EXPECT_EQ(e.h.model.hasOption(option::JustEmbedded), c.written);
        // Cancelling says nothing; every other outcome says what happened.
        EXPECT_TRUE(c.said ? e.said().contains(QString::fromUtf16(c.said))
                           : e.h.ui.messages().empty())
            << e.said().toStdString();
        // Neither the seal nor what the check read back stays.
        EXPECT_FALSE(entries(e.h.temp.folder()).contains(kSealedWorkName));
    }
}

TEST(StrongCode, TheSecondAskingIsTitledForTheProtectionTicked) {
    for (const bool stealth : {false, true}) {
        apptest::Harness h;
        h.model.code = kCode;
        h.model.stealthWanted = stealth;
        h.ui.queueCodeAgain(QStringLiteral("Correct Horse 13"));
        EXPECT_FALSE(ConfirmSealingCode(h.ctx));
        ASSERT_EQ(h.ui.codeRequests().size(), 1u);
        ASSERT_EQ(h.ui.messages().size(), 1u);
        const QString title = stealth ? "Stealth" : "Strong protection";
        EXPECT_EQ(h.ui.codeRequests()[0].title, title);
        EXPECT_EQ(h.ui.messages()[0].title, title);
    }
}

// Stop during the derivation ends the wait at once; nothing is written and the thread finishes
// on its own.
TEST(StrongCode, StopEndsTheDerivationsWait) {
    Embed e;
    // Dear enough that the derivation is still running at the first look at the events.
    e.h.ctx.strongCost = StrongCost{4, 128 * 1024};
    e.chooseDocument(e.h.dir.path(QStringLiteral("a.txt")));
    ASSERT_TRUE(e.h.model.hasPacking(packing::PackedForSeal));
    e.h.model.stopRequest = false;
    e.h.ui.onPendingEvents = [&e](int) { e.h.model.stopRequest = true; };
    const SealOutcome outcome = SealForEmbed(e.h.ctx, std::string("header"));
    EXPECT_TRUE(outcome.stopped);
    EXPECT_FALSE(outcome.done);
}

// What an image asks of a guess, judged before the derivation: within bounds it opens, above
// this program's own cost only when the user agrees, outside the bounds never.
TEST(StrongCode, CostsAnImageMayAsk) {
    const struct {
        const char* what;
        StrongCost sealedAt;
        StrongCost openerWrites;
        std::optional<MessageAnswer> asked;
        bool opens;
        const char16_t* said;
    } cases[] = {
        {"the opener's own", kCheap, kCheap, std::nullopt, true, nullptr},
        {"more passes, agreed", StrongCost{5, 8}, kCheap, MessageAnswer::Ok, true, nullptr},
        {"more passes, declined", StrongCost{5, 8}, kCheap, MessageAnswer::Cancel, false, nullptr},
        {"beyond the bound", StrongCost{9, 8}, kCheap, std::nullopt, false,
         u"more than any image this program makes asks for (at most 1024 MiB of memory and 8 "
         u"passes)"},
        {"below the floor", kCheap, kDefaultStrongCost, std::nullopt, false,
         u"at a cost so low (8 KiB of memory and 1 pass)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Embed e;
        e.h.ctx.strongCost = c.sealedAt;
        e.run(e.h.ctx, kCode);
        ASSERT_EQ(entries(e.out.folder()).size(), 1u) << e.said().toStdString();

        apptest::UserSession x(kCode);
        apptest::ScratchDir back;
        x.h.ctx.strongCost = c.openerWrites;
        x.h.model.extractOutputFolder = back.folder();
        x.chooseCarrier(e.out.folder() + QStringLiteral("c.bmp"));
        ASSERT_TRUE(x.h.model.extractMode());
        if (c.asked) {
            x.h.ui.queueAnswer(*c.asked);
        }
        x.h.ui.clear();
        ExtractDocument(x.h.ctx);
        EXPECT_EQ(entries(back.folder()).size(), c.opens ? 1 : 0);
        EXPECT_EQ(x.h.ui.unscriptedPrompts(), 0);
        EXPECT_EQ(x.h.ui.pendingAnswers(), 0);
        const QString said = x.messages().join(u'\n');
        EXPECT_TRUE(!c.said || said.contains(QString::fromUtf16(c.said))) << said.toStdString();
        EXPECT_TRUE(entries(x.h.temp.folder()).isEmpty());
    }
}

TEST(StrongCode, MemoryAvailableFromMeminfo) {
    const struct {
        const char* text;
        std::optional<uint64_t> kib;
    } cases[] = {
        {"MemTotal:       16314112 kB\nMemFree:  1 kB\nMemAvailable:   9876543 kB\n", 9876543},
        {"MemAvailable: 0 kB\n", 0},
        {"MemTotal: 5 kB\n", std::nullopt},
        {"MemAvailable: kB\n", std::nullopt},
        {"MemAvailable: 12\n", std::nullopt},
        {"MemAvailable: 99999999999999999999999 kB\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(memAvailableKiB(c.text), c.kib) << c.text;
    }
    EXPECT_TRUE(availableMemoryKiB().has_value());
}

} // namespace
