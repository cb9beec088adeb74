// What the downloadable-content tests share: package folders on disk, complete scenario packages,
// the DLC group's handler registrations in the host's trace, and checks of thrown platform errors.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/event_types.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/packages/packages.h"
#include "platform/exceptions.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {

// A package's folder: a new directory holding one file, removed with its contents at the end.
class PackageFolder {
public:
    static constexpr const char* kFileName = "content.txt";

    explicit PackageFolder(const std::string& contents = "package contents") : contents_(contents) {
        path_ = FreshTemporaryPath("velmora-dlc-");
        std::filesystem::create_directories(path_);
        std::ofstream(path_ / kFileName) << contents;
    }
    ~PackageFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PackageFolder(const PackageFolder&) = delete;
    PackageFolder& operator=(const PackageFolder&) = delete;

    std::u16string Path() const { return emu::FromUtf8(path_.string()); }
    const std::string& Contents() const { return contents_; }

private:
    std::filesystem::path path_;
    std::string contents_;
};

// The file a package folder holds, read through a path the plugin answered; "" when unreadable.
inline std::string ReadPackageFile(const char16_t* folder) {
    std::ifstream in(std::filesystem::path(emu::ToUtf8(folder)) / PackageFolder::kFileName);
    if (!in) return "";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DlcTest : public PluginTest {
public:
    // A package of `titleId` whose every text names it, backed by `folder`.
    static emu::PackageData Package(const std::u16string& name, const std::u16string& titleId,
                                    const PackageFolder& folder) {
        emu::PackageData p;
        p.titleId = titleId;
        p.contentId = name + u"-content";
        p.productId = name + u"-product";
        p.packageFullName = name + u"_1.0.0.0_x64__8wekyb3d8bbwe";
        p.displayName = name + u" display";
        p.description = name + u" description";
        p.publisher = name + u" publisher";
        p.version = u"1.0.0.0";
        p.contentType = 2;
        p.folder = folder.Path();
        p.contentGuid = {0x1B2C3D4E, 0x5F60, 0x7182, {0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9, 0x0A}};
        return p;
    }

protected:
    static void Install(const emu::PackageData& package) { ASSERT_EQ(emu::AddPackage(package), ABI::S_OK); }

    // The ids of the handlers the DLC group added to the host queue, in the order they were added.
    std::vector<EventId> DlcHandlerRegistrations() {
        using HaldenPlugin::DownloadableContentPackageInstallCompletedEvent;
        using HaldenPlugin::IDownloadableContentPackageInstallCompletedEventArgsEvent;
        std::vector<EventId> ids;
        for (const auto& entry : Host().Queue().Trace())
            if (entry.kind == host::TraceEntry::Kind::AddHandler &&
                (entry.id == DownloadableContentPackageInstallCompletedEvent::Id ||
                 entry.id == IDownloadableContentPackageInstallCompletedEventArgsEvent::Id))
                ids.push_back(entry.id);
        return ids;
    }
    static std::vector<EventId> BothDlcHandlers() {
        return {HaldenPlugin::DownloadableContentPackageInstallCompletedEvent::Id,
                HaldenPlugin::IDownloadableContentPackageInstallCompletedEventArgsEvent::Id};
    }

    // The one package of a query, with its own reference; the list is disposed.
    ObjectHandle FindOnly(int32_t filter = 0) {
        ObjectHandle list = X().DLC_FindPackages(filter);
        EXPECT_EQ(X().DLC_IDownloadableContentPackage_Length(list), 1u);
        ObjectHandle package = X().DLC_IDownloadableContentPackage_GetAt(list, 0);
        X().DLC_IDownloadableContentPackage_Dispose(list);
        return package;
    }
};

}  // namespace velmora::test
