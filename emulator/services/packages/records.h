// What the emulated package manager hands out: the state one installed package shares with every
// handle found for it, the package objects, and the install-completed event args. Used only by
// the emulator's package classes; tests and tools use emulator/services/packages/packages.h.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "emulator/services/packages/packages.h"

namespace velmora::emu::packages {

using ::ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackageInstallCompletedEventArgs;

// One installed package: its data, fixed at installation, and the state every handle of it sees,
// so a mount through one handle shows through every other.
struct PackageState {
    explicit PackageState(PackageData d) : data(std::move(d)), licensed(data.licensed) {}
    const PackageData data;
    std::mutex mutex;  // guards the fields below
    bool licensed;
    bool installed = true;  // false once uninstalled or replaced by a later installation
    uint8_t mounted = 0;    // the boolean byte IsMounted answers; non-zero counts as mounted
};

// A new package object over the state, with one reference for the caller.
HRESULT MakePackage(std::shared_ptr<PackageState> state, IDownloadableContentPackage** package);
// New event args, with one reference for the caller.
HRESULT MakeInstallCompletedEventArgs(InstallOperationType operation, std::u16string_view packageFullName,
                                      const Guid& contentId,
                                      IDownloadableContentPackageInstallCompletedEventArgs** args);

// Counted for PackageCalls().
void CountMount();
void CountUnmount();

}  // namespace velmora::emu::packages
