#include "Pictures.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <regex>

namespace detect {
namespace {

namespace fs = std::filesystem;

bool isJpeg(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".jpg" || ext == ".jpeg";
}

std::string pictureKey(const fs::path& path) {
    static const std::regex sizeSuffix("_[0-9]+x[0-9]+$");
    const std::string text = path.string();
    const size_t contents = text.find("/contents/");
    if (contents != std::string::npos) {
        return text.substr(0, contents);
    }
    return (path.parent_path() / std::regex_replace(path.stem().string(), sizeSuffix, "")).string();
}

} // namespace

std::vector<fs::path> picturesUnder(const std::vector<std::string>& folders) {
    std::map<std::string, std::pair<fs::path, uintmax_t>> chosen;
    for (const std::string& folder : folders) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code fileError;
            if (!it->is_regular_file(fileError) || !isJpeg(it->path())) {
                continue;
            }
            const uintmax_t size = it->file_size(fileError);
            if (fileError) {
                continue;
            }
            auto [at, inserted] =
                chosen.emplace(pictureKey(it->path()), std::pair{it->path(), size});
            if (!inserted && size > at->second.second) {
                at->second = {it->path(), size};
            }
        }
    }
    std::vector<fs::path> pictures;
    for (const auto& [key, file] : chosen) {
        pictures.push_back(file.first);
    }
    return pictures;
}

} // namespace detect
