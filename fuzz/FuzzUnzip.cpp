// Feeds arbitrary archives to the unpacker, which opens whatever archive a carrier yields and
// writes into a folder of the user's own files, and checks what it promises: no crash, a known
// status, and nothing written, linked or left behind anywhere but inside the target folder.
//
// Input: one control byte, then the archive. Bit 0 of the control byte picks the unzip option
// (replace or keep), bit 1 the password (none or kPassword, the one the encrypted seeds use).
#include "FuzzInput.h"
#include "InputFile.h"
#include "operations/LibZipService.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr const char* kStem = "unzip";
constexpr const char* kPassword = "fuzz-code-42";

void require(bool condition, const char* what, const fs::path& where = {}) {
    if (!condition) {
        std::fprintf(stderr, "unpacker broke its promise: %s %s\n", what, where.c_str());
        std::abort();
    }
}

struct Layout {
    fs::path root; // private to the process: holds the input file and the scratch folder only
    fs::path scratch;
    fs::path target;
};

const Layout& layout() {
    static const Layout paths = [] {
        Layout l;
        l.root = fuzzin::workDir();
        // The input file lands in the private root as well, so that the walk sees every place a
        // member name could reach by climbing out of the target, the input's own folder included.
        ::setenv("TMPDIR", l.root.c_str(), 1);
        l.scratch = l.root / "scratch";
        // Nested, so that a name climbing several levels still lands where the walk looks.
        l.target = l.scratch / "up1" / "up2" / "up3" / "target";
        return l;
    }();
    return paths;
}

bool inside(const fs::path& path, const fs::path& folder) {
    const std::string& p = path.native();
    const std::string& f = folder.native();
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/';
}

// Everything below the root must be the input, the folders leading to the target, or what the
// unpacker wrote inside the target: plain files and folders, never a link. Returns the number of
// plain files in the target.
int checkTree(const Layout& l, const fs::path& input, size_t inputSize) {
    std::error_code ec;
    fs::file_status inputStatus = fs::symlink_status(input, ec);
    require(!ec && fs::is_regular_file(inputStatus), "input file replaced", input);
    require(fs::file_size(input, ec) == inputSize && !ec, "input file changed", input);

    int files = 0;
    for (fs::recursive_directory_iterator it(l.root, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const fs::file_status status = it->symlink_status(ec);
        require(!ec, "entry vanished during the walk", path);
        if (inside(path, l.target)) {
            require(!fs::is_symlink(status), "link in the target", path);
            require(fs::is_regular_file(status) || fs::is_directory(status),
                    "special file in the target", path);
            files += fs::is_regular_file(status) ? 1 : 0;
            continue;
        }
        if (path == input) {
            continue;
        }
        const bool onTheWay = path == l.target || inside(l.target, path);
        require(onTheWay && fs::is_directory(status), "entry outside the target", path);
    }
    require(!ec, "walk failed", l.root);
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Layout& l = layout();
    const uint8_t control = size > 0 ? data[0] : 0;
    const uint8_t* archive = size > 0 ? data + 1 : data;
    const size_t archiveSize = size > 0 ? size - 1 : 0;

    std::error_code ec;
    fs::remove_all(l.scratch, ec);
    fs::create_directories(l.target, ec);
    require(!ec, "cannot make the target", l.target);
    fuzzfile::writeInput(kStem, archive, archiveSize);
    const fs::path input = fuzzfile::inputPath(kStem);

    static brindmar::LibZipService service;
    const QString path = QFile::decodeName(input.c_str());
    const brindmar::ZipStatus quick = service.ZSIsZIPFileQuick(path);
    require(quick.has_value(), "quick check without a status");

    const int16_t option =
        (control & 1) != 0 ? brindmar::kUnzipKeepExisting : brindmar::kUnzipReplaceExisting;
    const std::string password = (control & 2) != 0 ? kPassword : "";
    const brindmar::ZipStatus status =
        service.ZSUnzipFiles(path, QStringLiteral("*.*"), QFile::decodeName(l.target.c_str()),
                             option, password);
    require(status.has_value(), "unzip without a status");
    require(*status >= 0 && *status <= 17, "unknown unzip status");

    const int files = checkTree(l, input, archiveSize);
    if (*status == 0) {
        // The consistency-checked open that unzipping uses is stricter than the quick check.
        require(*quick == 0, "unzipped what the quick check refused");
        require(files > 0, "success without a file");
    }

    fs::remove_all(l.scratch, ec);
    require(!ec, "cannot clean up", l.scratch);
    return 0;
}
