// The folders the emulator wrote for packages given as files (MaterializePackage), which the next
// Reset removes: a saved world writes such a package back as its files.
#pragma once

#include <filesystem>

namespace velmora::emu::scenario_detail {

// True for a folder MaterializePackage wrote since the last Reset.
bool IsMaterializedFolder(const std::filesystem::path& folder);

}  // namespace velmora::emu::scenario_detail
