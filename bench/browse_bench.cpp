// Times the BMP list of a folder of 5,000 carriers, built the way the BMP command builds it
// (list, read 54 bytes of each file, sort by image area, show the chosen one), against a floor
// measured in the same run: a plain listing of the folder with each file opened and closed.
//
// Prints "browse_5000_ms N" (median of the runs), "floor_list_open_5000_ms N" and
// "ratio browse R". Options: --reps=N (default 7), --scratch=DIR (default $TMPDIR or /tmp).
#include "operations/Engine.h"
#include "operations/ZipService.h"
#include "util/LinuxPlatform.h"
#include "util/UiServices.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/WorkflowContext.h"

#include "BenchSupport.h"
#include "QuietWorkflow.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace brindmar;
using bench::median;

namespace {

constexpr int kFiles = 5000;

// The browse never calls the engine or the ZIP service.
class NoEngine final : public Engine {
public:
    EngineStatus embed24(const UncompressedEmbedArgs&) override { return {}; }
    EngineStatus embed80(const UncompressedEmbedArgs&) override { return {}; }
    EngineStatus embed81(const Rle8EmbedArgs&) override { return {}; }
    EngineStatus extract(const ExtractArgs&) override { return {}; }
    EngineStatus wipefile(int32_t, const QString&) override { return {}; }
};

class NoZip final : public ZipService {
public:
    ZipStatus ZSInitialize() override { return {}; }
    ZipStatus ZSCreateBlankZIPFile(const QString&) override { return {}; }
    ZipStatus ZSGetNewZIPName(QString&) override { return {}; }
    ZipStatus ZSZipFiles(const QString&, const QString&, const std::string&) override { return {}; }
    ZipStatus ZSIsZIPFileQuick(const QString&) override { return {}; }
    ZipStatus ZSUnzipFiles(const QString&, const QString&, const QString&, int16_t,
                           const std::string&) override {
        return {};
    }
};

// A valid 24-bit BMP of w x h pixels.
std::vector<unsigned char> bmp(int32_t w, int32_t h) {
    const int32_t stride = (w * 3 + 3) / 4 * 4;
    std::vector<unsigned char> b(54 + size_t(stride) * h, 0x55);
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    b[26] = 1;
    b[27] = 0;
    b[28] = 24;
    b[29] = 0;
    put32(30, 0);
    put32(34, static_cast<uint32_t>(stride * h));
    return b;
}

template <typename F> double millis(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    int reps = 7;
    QString scratch = qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--reps=", 7) == 0) {
            reps = std::max(1, std::atoi(argv[i] + 7));
        } else if (std::strncmp(argv[i], "--scratch=", 10) == 0) {
            scratch = QString::fromLocal8Bit(argv[i] + 10);
        }
    }
    QTemporaryDir dir(scratch + QStringLiteral("/browse-bench-XXXXXX"));
    const QString folder = dir.path() + u'/';
    for (int i = 0; i < kFiles; ++i) {
        const std::vector<unsigned char> bytes = bmp(8 + i % 97, 8 + i % 89);
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("c%1.bmp").arg(i));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
            std::fprintf(stderr, "cannot write %s\n", path.constData());
            return 1;
        }
        ::close(fd);
    }

    bench::QuietUi ui;
    bench::NoView view;
    NoEngine engine;
    NoZip zip;
    LinuxPlatform platform;
    std::vector<double> browse;
    std::vector<double> floor;
    for (int r = 0; r < reps; ++r) {
        floor.push_back(millis([&] {
            for (const QString& name : QDir(folder).entryList(QDir::Files)) {
                const int fd = ::open(QFile::encodeName(folder + name).constData(), O_RDONLY);
                ::close(fd);
            }
        }));
        WindowModel model;
        model.thumbnailBoxWidth = 184 * 15;
        model.thumbnailBoxHeight = 168 * 15;
        model.display.bmpPath = folder + QStringLiteral("c2500.bmp");
        WorkflowContext ctx{model, ui, zip, engine, platform, view, folder, folder};
        browse.push_back(millis([&] { BuildBmpList(ctx, folder); }));
        if (model.bmpList.count() != kFiles) {
            std::fprintf(stderr, "listed %d files\n", model.bmpList.count());
            return 1;
        }
    }
    const double b = median(browse);
    const double f = median(floor);
    std::printf("browse_5000_ms %.1f\n", b);
    std::printf("floor_list_open_5000_ms %.1f\n", f);
    std::printf("ratio browse %.2f\n", b / f);
    return 0;
}
