// Package discovery through the exports: the package manager's one activation and the two handler
// registrations, the query filters, the package list's bounds and lifetimes, and the package
// accessors.
#include <cstdio>
#include <cstring>
#include <map>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "tests/dlc_fixture.h"

namespace velmora::test {
namespace {

using ABI::HRESULT;
using Filter = ABI::Windows::Xbox::Management::Deployment::DownloadableContentPackageFilter;

class DlcDiscoveryTest : public DlcTest {};

// Empty and null lists read as length zero; an index at the length raises; a package handle holds
// its own one reference and outlives its list.
TEST_F(DlcDiscoveryTest, PackageListsAndTheirLifetimes) {
    for (bool answersNull : {false, true}) {
        SCOPED_TRACE(answersNull ? "null vector" : "empty vector");
        emu::SetFindPackagesAnswersNull(answersNull);
        ObjectHandle list = X().DLC_FindPackages(0);
        EXPECT_EQ(list == nullptr, answersNull);
        EXPECT_EQ(X().DLC_IDownloadableContentPackage_Length(list), 0u);
        X().DLC_IDownloadableContentPackage_Dispose(list);
    }
    emu::SetFindPackagesAnswersNull(false);

    PackageFolder a, b;
    Install(Package(u"A", u"t", a));
    Install(Package(u"B", u"t", b));
    const int64_t before = emu::LiveObjects();
    ObjectHandle list = X().DLC_FindPackages(0);
    ASSERT_EQ(X().DLC_IDownloadableContentPackage_Length(list), 2u);
    EXPECT_EQ(emu::LiveObjects(), before + 3);  // the list and its two packages
    ObjectHandle package = X().DLC_IDownloadableContentPackage_GetAt(list, 0);
    ObjectHandle again = X().DLC_IDownloadableContentPackage_GetAt(list, 0);
    EXPECT_EQ(package, again);
    X().IDownloadableContentPackage_Dispose(again);
    X().DLC_IDownloadableContentPackage_Dispose(list);
    EXPECT_EQ(emu::LiveObjects(), before + 1);
    EXPECT_EQ(std::u16string(X().IDownloadableContentPackage_DisplayName(package)), u"A display");
    X().IDownloadableContentPackage_Dispose(package);
    EXPECT_EQ(emu::LiveObjects(), before);
}

struct ActivationFault {
    const char* name;
    const char* call;
    HRESULT hr;
    const char* kind;
};

void PrintTo(const ActivationFault& f, std::ostream* out) { *out << f.name; }

class DlcActivationFailureTest : public DlcTest, public ::testing::WithParamInterface<ActivationFault> {};

TEST_P(DlcActivationFailureTest, RaisesFromTheQueryAndTheNextQueryRetries) {
    const ActivationFault& fault = GetParam();
    emu::InjectFault(fault.call, fault.hr, 1);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(0); }), Thrown(fault.kind, fault.hr));
    EXPECT_EQ(emu::PackageCalls().activations, 0u);
    EXPECT_TRUE(DlcHandlerRegistrations().empty());

    ObjectHandle list = X().DLC_FindPackages(0);
    EXPECT_NE(list, nullptr);
    EXPECT_EQ(emu::PackageCalls().activations, 1u);
    EXPECT_EQ(DlcHandlerRegistrations(), BothDlcHandlers());
    X().DLC_IDownloadableContentPackage_Dispose(list);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DlcActivationFailureTest,
    ::testing::Values(
        ActivationFault{"NoFactory",
                        "RoGetActivationFactory:Windows.Xbox.Management.Deployment.DownloadableContentPackageManager",
                        ABI::REGDB_E_CLASSNOTREG, "ClassNotRegisteredException"},
        ActivationFault{"InstanceAccessDenied", "IActivationFactory.ActivateInstance", ABI::E_ACCESSDENIED,
                        "AccessDeniedException"},
        ActivationFault{"InstanceOutOfMemory", "IActivationFactory.ActivateInstance", ABI::E_OUTOFMEMORY,
                        "OutOfMemoryException"}),
    [](const auto& info) { return std::string(info.param.name); });

// The plugin keeps an instance without the manager interface and answers InvalidCastException from
// every export that needs the manager, without activating again.
TEST_F(DlcDiscoveryTest, AnInstanceWithoutTheManagerInterfaceRaisesInvalidCast) {
    emu::SetManagerProvidesInterface(false);
    const std::string invalidCast = Thrown("InvalidCastException", ABI::E_NOINTERFACE);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(0); }), invalidCast);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(0); }), invalidCast);
    EXPECT_EQ(ThrownBy([&] { X().DLC_RegisterForDLCCompletedEvent([](void*) {}, nullptr); }), invalidCast);
    EXPECT_EQ(ThrownBy([&] {
                  X().DLC_RegisterForDLCCompletedWithDetailsEvent([](int32_t, ObjectHandle, void*) {}, nullptr);
              }),
              invalidCast);
    EXPECT_TRUE(X().DLC_UnRegisterForDLCCompletedEvent());
    EXPECT_TRUE(X().DLC_UnRegisterForDLCCompletedWithDetailsEvent());
    EXPECT_EQ(emu::PackageCalls().activations, 1u);
    EXPECT_EQ(emu::PackageCalls().finds, 0u);
    EXPECT_EQ(DlcHandlerRegistrations(), BothDlcHandlers());
}

TEST_F(DlcDiscoveryTest, EachFilterSelectsItsTitlesInInstallationOrder) {
    emu::SetTitles(u"current", {u"sequel", u"prequel"});
    PackageFolder f1, f2, f3, f4, f5;
    Install(Package(u"Prequel", u"prequel", f1));
    Install(Package(u"Current1", u"current", f2));
    Install(Package(u"Other", u"unrelated", f3));
    Install(Package(u"Sequel", u"sequel", f4));
    Install(Package(u"Current2", u"current", f5));

    const struct {
        Filter filter;
        std::vector<std::u16string> titles;  // of the packages found, in order
    } rows[] = {
        {Filter::AllDownloadableContentOnly, {u"prequel", u"current", u"unrelated", u"sequel", u"current"}},
        {Filter::AllRelatedPackages, {u"prequel", u"current", u"sequel", u"current"}},
        {Filter::CurrentTitleOnly, {u"current", u"current"}},
        {Filter::RelatedTitlesOnly, {u"prequel", u"sequel"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int32_t(row.filter));
        ObjectHandle list = X().DLC_FindPackages(int32_t(row.filter));
        std::vector<std::u16string> titles;
        for (uint32_t i = 0; i < X().DLC_IDownloadableContentPackage_Length(list); ++i) {
            ObjectHandle package = X().DLC_IDownloadableContentPackage_GetAt(list, i);
            titles.push_back(X().IDownloadableContentPackage_TitleId(package));
            X().IDownloadableContentPackage_Dispose(package);
        }
        EXPECT_EQ(titles, row.titles);
        X().DLC_IDownloadableContentPackage_Dispose(list);
    }
}

TEST_F(DlcDiscoveryTest, AnUnknownFilterOrAFailingQueryRaisesAndTheNextQueryWorks) {
    const std::string invalidArgument = Thrown("InvalidArgumentException", ABI::E_INVALIDARG);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(4); }), invalidArgument);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(-1); }), invalidArgument);
    emu::InjectFault("IDownloadableContentPackageManager.FindPackages", ABI::E_FAIL, 1);
    EXPECT_EQ(ThrownBy([&] { X().DLC_FindPackages(0); }), Thrown("FailureException", ABI::E_FAIL));
    ObjectHandle list = X().DLC_FindPackages(3);
    EXPECT_NE(list, nullptr);
    X().DLC_IDownloadableContentPackage_Dispose(list);
    EXPECT_EQ(emu::PackageCalls().finds, 4u);
}

// ---- accessors

using StringExport = const char16_t* (*host::VelmoraExports::*)(ObjectHandle);
using ValueExport = int32_t (*host::VelmoraExports::*)(ObjectHandle);

struct Accessor {
    const char* getter;  // the platform member the export reads
    StringExport text;   // set for a text accessor
    ValueExport value;   // set for a 32-bit accessor
};

#define DLC_TEXT(Name) \
    Accessor { "get_" #Name, &host::VelmoraExports::IDownloadableContentPackage_##Name, nullptr }
#define DLC_VALUE(Name) \
    Accessor { "get_" #Name, nullptr, &host::VelmoraExports::IDownloadableContentPackage_##Name }
const Accessor kAccessors[] = {
    DLC_TEXT(TitleId),     DLC_TEXT(ContentId),  DLC_TEXT(ProductId),    DLC_TEXT(PackageFullName),
    DLC_TEXT(MountPath),   DLC_VALUE(IsMounted), DLC_VALUE(ContentType), DLC_TEXT(DisplayName),
    DLC_TEXT(Description), DLC_TEXT(Publisher),  DLC_TEXT(Version),
};
#undef DLC_TEXT
#undef DLC_VALUE

TEST_F(DlcDiscoveryTest, EveryAccessorReadsItsMemberAndRaisesItsFailure) {
    PackageFolder folder;
    emu::PackageData data = Package(u"Pack", u"title", folder);
    data.description = u"Caf\u00e9 \U0001F3AE";  // non-ASCII text crosses unchanged
    data.contentType = 7;
    Install(data);
    const std::map<std::string, std::u16string> texts = {{"get_TitleId", data.titleId},
                                                         {"get_ContentId", data.contentId},
                                                         {"get_ProductId", data.productId},
                                                         {"get_PackageFullName", data.packageFullName},
                                                         {"get_MountPath", u""},
                                                         {"get_DisplayName", data.displayName},
                                                         {"get_Description", data.description},
                                                         {"get_Publisher", data.publisher},
                                                         {"get_Version", data.version}};
    const std::map<std::string, int32_t> values = {{"get_IsMounted", 0}, {"get_ContentType", 7}};

    ObjectHandle package = FindOnly();
    for (const Accessor& a : kAccessors) {
        SCOPED_TRACE(a.getter);
        const std::string fault = std::string("IDownloadableContentPackage.") + a.getter;
        if (a.text) {
            // The package made its texts when it was found: a read creates no string, and a second
            // read borrows the same buffer.
            emu::InjectFault("WindowsCreateString", ABI::E_OUTOFMEMORY);
            const int64_t strings = emu::LiveStrings();
            const char16_t* first = (X().*a.text)(package);
            EXPECT_EQ(std::u16string(first), texts.at(a.getter));
            EXPECT_EQ((X().*a.text)(package), first);
            EXPECT_EQ(emu::LiveStrings(), strings);
            emu::ClearFaults();
            EXPECT_EQ(std::u16string((X().*a.text)(nullptr)), u"");
            emu::InjectFault(fault, ABI::E_ACCESSDENIED, 1);
            EXPECT_EQ(ThrownBy([&] { (X().*a.text)(package); }), Thrown("AccessDeniedException", ABI::E_ACCESSDENIED));
            EXPECT_EQ(std::u16string((X().*a.text)(package)), texts.at(a.getter));
        } else {
            EXPECT_EQ((X().*a.value)(package), values.at(a.getter));
            EXPECT_EQ((X().*a.value)(nullptr), 0);
            emu::InjectFault(fault, ABI::E_ACCESSDENIED, 1);
            EXPECT_EQ(ThrownBy([&] { (X().*a.value)(package); }), Thrown("AccessDeniedException", ABI::E_ACCESSDENIED));
            EXPECT_EQ((X().*a.value)(package), values.at(a.getter));
        }
    }
    X().IDownloadableContentPackage_Dispose(package);
}

// The platform's boolean is a byte; the export answers 1 only for the byte 1 and 0 for any other.
TEST_F(DlcDiscoveryTest, IsMountedAnswersExactlyZeroOrOneForEveryByte) {
    PackageFolder folder;
    const emu::PackageData data = Package(u"Pack", u"title", folder);
    Install(data);
    ObjectHandle package = FindOnly();
    const struct {
        uint8_t stored;
        int32_t answered;
    } rows[] = {{0, 0}, {1, 1}, {2, 0}, {0x80, 0}, {0xFF, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.stored));
        ASSERT_EQ(emu::SetPackageMountedByte(data.packageFullName, row.stored), ABI::S_OK);
        EXPECT_EQ(X().IDownloadableContentPackage_IsMounted(package), row.answered);
    }
    X().IDownloadableContentPackage_Dispose(package);
}

}  // namespace
}  // namespace velmora::test
