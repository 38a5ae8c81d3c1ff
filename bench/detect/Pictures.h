#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace detect {

// The JPEG pictures under the folders (searched recursively), one file per picture, sorted:
// wallpaper packages ship each picture in several sizes, either as NAME/contents/images/WxH.jpg
// or as NAME_WxH.jpg beside NAME.jpg, and the largest file stands for the picture. Folders that
// cannot be read are passed over.
std::vector<std::filesystem::path> picturesUnder(const std::vector<std::string>& folders);

} // namespace detect
