// The emulated downloadable-content packages (Windows.Xbox.Management.Deployment): the installed
// packages of the scenario, the title that runs and its related titles, the activatable class
// "Windows.Xbox.Management.Deployment.DownloadableContentPackageManager", and installations that
// raise the two install-completed notifications. docs/emulator-packages.md describes the behaviour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/objects.h"
#include "platform/deployment.h"

namespace velmora::emu {

using ::ABI::Windows::Xbox::Management::Deployment::DownloadableContentPackageFilter;
using ::ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackage;
using ::ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackageManager;
using ::ABI::Windows::Xbox::Management::Deployment::InstallOperationType;

// What Mount answers for a package the user holds no license for (the console's licensing error).
inline constexpr HRESULT E_PACKAGE_NOT_LICENSED = static_cast<HRESULT>(0x87E10BC6);

// One downloadable-content package as the scenario installs it.
struct PackageData {
    std::u16string titleId;  // the title the package belongs to: what the query filters compare
    std::u16string contentId;
    std::u16string productId;
    std::u16string packageFullName;  // the package's identity: not empty, unique among installed packages
    std::u16string displayName;
    std::u16string description;
    std::u16string publisher;
    std::u16string version;
    int32_t contentType = 0;
    // An existing directory holding the package's files; a mount exposes it as the mount path.
    // Stored as an absolute path.
    std::u16string folder;
    bool licensed = true;  // false: Mount answers E_PACKAGE_NOT_LICENSED
    Guid contentGuid{};    // the content id the install-completed details carry

    bool operator==(const PackageData&) const = default;
};

// ---- Scenario -----------------------------------------------------------------------------------

// Installs a package, unmounted. E_INVALIDARG (nothing added) for an empty or already installed
// full name, or a folder that is not an existing directory.
EMU_API HRESULT AddPackage(const PackageData& package);
// Uninstalls a package: later queries miss it, and handles found before answer E_NOT_FOUND from
// Mount. E_NOT_FOUND when no package has the name.
EMU_API HRESULT RemovePackage(std::u16string_view packageFullName);
// The installed packages, in installation order (folders as stored: absolute).
EMU_API std::vector<PackageData> InstalledPackages();
// The title that runs and the titles related to it. Both start empty.
EMU_API void SetTitles(std::u16string currentTitleId, std::vector<std::u16string> relatedTitleIds);
struct TitleIds {
    std::u16string currentTitleId;
    std::vector<std::u16string> relatedTitleIds;

    bool operator==(const TitleIds&) const = default;
};
EMU_API TitleIds Titles();
// Grants or revokes the license of an installed package; a mounted package stays mounted.
EMU_API HRESULT SetPackageLicensed(std::u16string_view packageFullName, bool licensed);
// Stores a raw boolean byte as the package's mount state, as a misbehaving platform might: any
// non-zero byte counts as mounted (MountPath answers the folder); IsMounted answers the byte.
EMU_API HRESULT SetPackageMountedByte(std::u16string_view packageFullName, uint8_t value);
// An installed package and whether it is mounted now (its mount byte is not 0).
struct InstalledPackage {
    PackageData data;
    bool mounted = false;
};
// The installed packages with their mount states, read at one moment, in installation order.
EMU_API std::vector<InstalledPackage> InstalledPackagesWithState();

// ---- Switches -----------------------------------------------------------------------------------

// When false, an activated manager does not provide IDownloadableContentPackageManager
// (QueryInterface answers E_NOINTERFACE). Starts true.
EMU_API void SetManagerProvidesInterface(bool provides);
// When true, FindPackages succeeds and hands out a null vector instead of an empty one. Starts false.
EMU_API void SetFindPackagesAnswersNull(bool answersNull);

// ---- Installations and notifications ------------------------------------------------------------

enum class PackageEvent {
    InstallCompleted,             // add_DownloadableContentPackageInstallCompleted
    InstallCompletedWithDetails,  // add_DownloadableContentPackageInstallCompletedWithDetails
};

// The delegates subscribed to a notification now (process-wide, across every manager instance).
EMU_API size_t SubscriberCount(PackageEvent kind);

// Installs a package as the console's installer does: on a platform thread, the package is added
// (replacing an installed package of the same full name), then every InstallCompleted delegate is
// invoked, then every InstallCompletedWithDetails delegate with a null sender and new event args
// (operation, full name, content GUID). E_INVALIDARG at once, and nothing happens, for an empty
// full name or a missing folder. emu::WaitIdle() waits for the installation.
EMU_API HRESULT StartInstallation(const PackageData& package, InstallOperationType operation);

// ---- Counters -----------------------------------------------------------------------------------

// Calls the plugin made, since the last Reset.
struct PackageCallCounts {
    uint32_t activations = 0;  // manager instances handed out by ActivateInstance
    uint32_t finds = 0;        // FindPackages calls, whatever they answered
    uint32_t mounts = 0;       // Mount calls, whatever they answered
    uint32_t unmounts = 0;     // Unmount calls, whatever they answered
};
EMU_API PackageCallCounts PackageCalls();

}  // namespace velmora::emu
