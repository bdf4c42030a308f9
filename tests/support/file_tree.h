// Every file and folder below a folder, keyed by its UTF-16 path relative to
// it: folders as "name\" with "<dir>", files with their contents (read by
// `read`, since the fake machine and a real disk are read differently).
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/platform.h"

namespace mv::test {

using FileTreeMap = std::map<std::u16string, std::string>;
using ReadWide = std::function<std::string(const std::u16string& path)>;

FileTreeMap FileTree(Platform& p, const std::u16string& folder, const ReadWide& read);

}  // namespace mv::test
