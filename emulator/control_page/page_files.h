// The page's files (page/), built into the library by emulator/CMakeLists.txt, so nothing has to be
// installed beside a game for the page to work.
#pragma once

#include <span>
#include <string_view>

namespace velmora::emu::control_page {

struct PageFile {
    std::string_view name;  // "/index.html", "/page.css", "/page.js"
    std::string_view contentType;
    std::string_view bytes;
};
std::span<const PageFile> PageFiles();

}  // namespace velmora::emu::control_page
