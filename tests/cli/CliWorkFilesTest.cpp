#include "AppTestSupport.h"
#include "BmpBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace {

// Every file left under folder, and every folder but the private folder itself.
QStringList leftUnder(const QString& folder) {
    QStringList left;
    QDirIterator walk(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        left << walk.next();
    }
    return left;
}

QProcessEnvironment environmentWith(const QString& runtime) {
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    variables.insert(QStringLiteral("BRINDMAR_CODE"), QStringLiteral("tidal marsh 71"));
    return variables;
}

int run(const QProcessEnvironment& environment, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(BRINDMAR_CLI), args);
    process.waitForFinished(300000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

struct KillPoint {
    bool extract; // else embed
    const char* option;
    int after; // looks at the work folder this many times more once a work file is seen
};

// A run killed while its work files hold the document, whatever it was doing, leaves them only
// until the next run starts: that run wipes the folders of runs that are gone. The output
// folders never see a part file either.
TEST(CliWorkFiles, AKilledRunLeavesNothingAfterTheNextRun) {
    apptest::ScratchDir dir;
    const QString runtime = dir.folder() + QStringLiteral("runtime");
    const QString work = runtime + QStringLiteral("/brindmar");
    const QString out = dir.folder() + QStringLiteral("out/");
    const QString found = dir.folder() + QStringLiteral("found/");
    ASSERT_TRUE(QDir().mkpath(runtime) && QDir().mkpath(out) && QDir().mkpath(found));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    std::mt19937 random(11);
    std::string document(60000, ' ');
    for (char& c : document) {
        c = static_cast<char>(random());
    }
    dir.write(QStringLiteral("notes.bin"), document);
    bmptest::Bytes pixels(400 * 300 * 3);
    for (uint8_t& b : pixels) {
        b = static_cast<uint8_t>(random());
    }
    dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(400, 300, pixels));
    const QProcessEnvironment environment = environmentWith(runtime);
    const QString carrier = dir.path(QStringLiteral("carrier.bmp"));
    const QString notes = dir.path(QStringLiteral("notes.bin"));
    const QString image = out + QStringLiteral("carrier.bmp");

    // A strong embed and extract at their first work file, later and much later; an encrypted
    // extract at its first and later.
    const KillPoint points[] = {{false, "--strong", 0},   {false, "--strong", 40},
                                {false, "--strong", 400}, {true, "--strong", 0},
                                {true, "--strong", 40},   {true, "--strong", 400},
                                {true, "--encrypt", 0},   {true, "--encrypt", 10}};
    QString madeWith;
    int killed = 0;
    for (const KillPoint& point : points) {
        const std::string name = std::string(point.extract ? "extract " : "embed ") + point.option +
                                 " after " + std::to_string(point.after);
        const QStringList embed{"embed", carrier, notes, "-o", out, "-y", "-q", point.option};
        if (point.extract && madeWith != point.option) {
            ASSERT_EQ(run(environment, embed), 0) << name;
            madeWith = point.option;
        }
        const QStringList args =
            point.extract ? QStringList{"extract", image, "-o", found, "-y", "-q"} : embed;
        QProcess victim;
        victim.setProcessEnvironment(environment);
        victim.setStandardInputFile(QProcess::nullDevice());
        victim.start(QStringLiteral(BRINDMAR_CLI), args);
        ASSERT_TRUE(victim.waitForStarted()) << name;
        int looks = 0;
        while (victim.state() != QProcess::NotRunning) {
            const QStringList now = leftUnder(work);
            const bool holdsFile = std::any_of(now.begin(), now.end(), [](const QString& path) {
                return QFileInfo(path).isFile() && QFileInfo(path).size() > 0;
            });
            if (holdsFile && looks++ >= point.after) {
                victim.kill();
                break;
            }
            victim.waitForFinished(1);
        }
        victim.waitForFinished(60000);
        killed += victim.exitStatus() == QProcess::CrashExit ? 1 : 0;
        // The next run, whatever it does, sweeps the dead run's folder.
        run(environment, {"info", carrier});
        EXPECT_EQ(leftUnder(work), QStringList()) << name;
        for (const QString& folder : {out, found}) {
            EXPECT_EQ(QDir(folder).entryList({QStringLiteral(".brindmar-*")},
                                             QDir::AllEntries | QDir::Hidden),
                      QStringList())
                << name;
        }
    }
    // A strong embed holds its work files while the key is derived: that kill always lands.
    EXPECT_GE(killed, 1);
    ::testing::Test::RecordProperty("killed", killed);
}

// Ctrl+C at any moment of a convert of several pictures: the run ends a success only when every
// picture was converted, and otherwise names each one it left without its BMP.
TEST(CliWorkFiles, AStoppedConvertNamesEveryPictureItDidNotConvert) {
    apptest::ScratchDir dir;
    const QString runtime = dir.folder() + QStringLiteral("runtime");
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    std::mt19937 random(5);
    QImage noise(1600, 1200, QImage::Format_RGB888);
    for (int y = 0; y < noise.height(); ++y) {
        uchar* row = noise.scanLine(y);
        for (int x = 0; x < noise.width() * 3; ++x) {
            row[x] = static_cast<uchar>(random());
        }
    }
    QStringList pictures;
    for (int i = 0; i < 6; ++i) {
        pictures << dir.path(QStringLiteral("p%1.png").arg(i));
        ASSERT_TRUE(noise.save(pictures.last()));
    }
    for (const int afterMs : {0, 50, 200, 500, 1000}) {
        const QString out = dir.folder() + QStringLiteral("out%1/").arg(afterMs);
        ASSERT_TRUE(QDir().mkpath(out));
        QProcess victim;
        victim.setProcessEnvironment(environmentWith(runtime));
        victim.setStandardInputFile(QProcess::nullDevice());
        victim.start(QStringLiteral(BRINDMAR_CLI),
                     QStringList{"convert"} + pictures + QStringList{"-o", out});
        ASSERT_TRUE(victim.waitForStarted());
        victim.waitForFinished(afterMs);
        if (victim.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(victim.processId()), SIGINT);
            ASSERT_TRUE(victim.waitForFinished(60000));
        }
        const QString said = QString::fromLocal8Bit(victim.readAllStandardError());
        // A Ctrl+C before the program is listening for it ends the process, which claims nothing.
        if (victim.exitStatus() != QProcess::NormalExit) {
            continue;
        }
        const bool succeeded = victim.exitCode() == 0;
        for (int i = 0; i < pictures.size(); ++i) {
            if (QFileInfo::exists(out + QStringLiteral("p%1.bmp").arg(i))) {
                continue;
            }
            EXPECT_FALSE(succeeded) << "p" << i << " missing after " << afterMs << " ms";
            EXPECT_TRUE(said.contains(pictures[i])) << said.toStdString();
        }
    }
}

} // namespace
