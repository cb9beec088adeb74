// Mounting and unmounting packages through the exports: the mount path is the package's readable
// folder, the state is shared by every handle of a package, a refused mount answers null, and a
// failing path read or unmount raises.
#include "emulator/runtime/faults.h"
#include "tests/dlc_fixture.h"

namespace velmora::test {
namespace {

using ABI::HRESULT;

class DlcMountTest : public DlcTest {};

// The mount path holds the package's files; every handle of a package shares its mount state; the
// plugin asks the platform at each mount (which is idempotent) and one unmount undoes them all.
TEST_F(DlcMountTest, MountYieldsThePackageFolderSharedByEveryHandle) {
    PackageFolder folder("level pack 7");
    Install(Package(u"Pack", u"title", folder));
    ObjectHandle package = FindOnly();
    ObjectHandle other = FindOnly();
    ASSERT_NE(package, other);
    EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 0);
    EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_MountPath(package)), u"");

    const char16_t* mounted = X().IDownloadableContentPackage_Mount(package);
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(std::u16string(mounted), folder.Path());
    EXPECT_EQ(ReadPackageFile(mounted), "level pack 7");
    EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_Mount(other)), folder.Path());
    EXPECT_EQ(emu::PackageCalls().mounts, 2u);
    for (ObjectHandle handle : {package, other}) {
        EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(handle), 1);
        EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_MountPath(handle)), folder.Path());
    }

    X().IDownloadableContentPackage_Unmount(other);
    EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 0);
    EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_MountPath(package)), u"");
    X().IDownloadableContentPackage_Unmount(package);  // unmounting an unmounted package succeeds
    EXPECT_EQ(emu::PackageCalls().unmounts, 2u);
    X().IDownloadableContentPackage_Dispose(package);
    X().IDownloadableContentPackage_Dispose(other);
}

struct Refusal {
    const char* name;
    void (*arrange)(const emu::PackageData& package);
};

const Refusal kRefusals[] = {
    {"unlicensed from installation", [](const emu::PackageData&) {}},
    {"license revoked",
     [](const emu::PackageData& p) { ASSERT_EQ(emu::SetPackageLicensed(p.packageFullName, false), ABI::S_OK); }},
    {"uninstalled", [](const emu::PackageData& p) { ASSERT_EQ(emu::RemovePackage(p.packageFullName), ABI::S_OK); }},
    {"injected failure",
     [](const emu::PackageData&) { emu::InjectFault("IDownloadableContentPackage.Mount", ABI::E_ACCESSDENIED, 1); }},
};

// An unlicensed mount's own answer, read past the plugin, is the console's licensing error; the
// plugin turns every refusal into a null path.
TEST_F(DlcMountTest, ARefusedMountAnswersNullWithoutRaising) {
    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.name);
        PackageFolder folder;
        emu::PackageData data = Package(u"Pack", u"title", folder);
        data.licensed = std::string(refusal.name) != "unlicensed from installation";
        Install(data);
        ObjectHandle package = FindOnly();
        refusal.arrange(data);
        if (!data.licensed) {
            ABI::HStringOwner path;
            EXPECT_EQ(static_cast<emu::IDownloadableContentPackage*>(package)->Mount(path.Put()),
                      static_cast<HRESULT>(0x87E10BC6));
        }
        const uint32_t mounts = emu::PackageCalls().mounts;
        EXPECT_EQ(X().IDownloadableContentPackage_Mount(package), nullptr);
        EXPECT_EQ(emu::PackageCalls().mounts, mounts + 1);
        EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 0);
        EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_MountPath(package)), u"");
        X().IDownloadableContentPackage_Dispose(package);
        emu::RemovePackage(data.packageFullName);
    }
}

// A failing path read after the mount, or a failing unmount, raises and leaves the package mounted.
TEST_F(DlcMountTest, AFailingPathReadOrUnmountRaisesAndLeavesThePackageMounted) {
    PackageFolder folder;
    Install(Package(u"Pack", u"title", folder));
    ObjectHandle package = FindOnly();
    emu::InjectFault("IDownloadableContentPackage.get_MountPath", ABI::E_FAIL, 1);
    EXPECT_EQ(ThrownBy([&] { X().IDownloadableContentPackage_Mount(package); }),
              Thrown("FailureException", ABI::E_FAIL));
    EXPECT_EQ(emu::PackageCalls().mounts, 1u);
    EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 1);
    EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_MountPath(package)), folder.Path());

    emu::InjectFault("IDownloadableContentPackage.Unmount", ABI::E_ACCESSDENIED, 1);
    EXPECT_EQ(ThrownBy([&] { X().IDownloadableContentPackage_Unmount(package); }),
              Thrown("AccessDeniedException", ABI::E_ACCESSDENIED));
    EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 1);
    X().IDownloadableContentPackage_Unmount(package);
    EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), 0);
    X().IDownloadableContentPackage_Dispose(package);
}

// The scenario's own checks: what a package needs before it can be installed.
TEST_F(DlcMountTest, ThePackageScenarioRefusesIncompletePackages) {
    PackageFolder folder;
    const emu::PackageData good = Package(u"Pack", u"title", folder);
    emu::PackageData missingFolder = good;
    missingFolder.folder = folder.Path() + u"/absent";
    emu::PackageData noName = good;
    noName.packageFullName.clear();
    EXPECT_EQ(emu::AddPackage(missingFolder), ABI::E_INVALIDARG);
    EXPECT_EQ(emu::AddPackage(noName), ABI::E_INVALIDARG);
    EXPECT_EQ(emu::StartInstallation(missingFolder, emu::InstallOperationType::Install), ABI::E_INVALIDARG);
    EXPECT_EQ(emu::AddPackage(good), ABI::S_OK);
    EXPECT_EQ(emu::AddPackage(good), ABI::E_INVALIDARG);
    EXPECT_EQ(emu::RemovePackage(u"absent"), ABI::E_NOT_FOUND);
    EXPECT_EQ(emu::InstalledPackages().size(), 1u);
}

}  // namespace
}  // namespace velmora::test
