// The conversion rules every accessor is an instance of: error translation, borrowed strings,
// URL strings, dates, collections, handles and disposal, each read through an export.
#include <typeinfo>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "platform/exceptions.h"
#include "tests/fake_services.h"
#include "tests/plugin_fixture.h"

namespace velmora::test {
namespace {

class MarshallingTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        item = emu::Make<FakeItem>();
    }
    void TearDown() override {
        item.Reset();
        PluginTest::TearDown();
    }
    ComPtr<FakeItem> item;
};

template <class E>
std::pair<const std::type_info*, HRESULT> Row(uint32_t hr) {
    return {&typeid(E), static_cast<HRESULT>(hr)};
}

TEST_F(MarshallingTest, EveryFailingHResultBecomesItsPlatformExceptionKind) {
    const std::vector<std::pair<const std::type_info*, HRESULT>> table = {
        Row<Platform::OutOfBoundsException>(0x8000000B),
        Row<Platform::ChangedStateException>(0x8000000C),
        Row<Platform::ObjectDisposedException>(0x80000013),
        Row<Platform::NotImplementedException>(0x80004001),
        Row<Platform::InvalidCastException>(0x80004002),
        Row<Platform::NullReferenceException>(0x80004003),
        Row<Platform::OperationCanceledException>(0x80004004),
        Row<Platform::FailureException>(0x80004005),
        Row<Platform::DisconnectedException>(0x80010108),
        Row<Platform::WrongThreadException>(0x8001010E),
        Row<Platform::ClassNotRegisteredException>(0x80040154),
        Row<Platform::AccessDeniedException>(0x80070005),
        Row<Platform::OutOfMemoryException>(0x8007000E),
        Row<Platform::InvalidArgumentException>(0x80070057),
        Row<Platform::COMException>(0x80070490),
        Row<Platform::COMException>(0x87E10BC6),
    };
    for (const auto& [type, hr] : table) {
        emu::InjectFault("IInventoryItem.get_TitleId", hr, 1);
        try {
            X().InventoryItem_TitleId(item.Get());
            ADD_FAILURE() << "no exception for " << std::hex << hr;
        } catch (const Platform::Exception& e) {
            EXPECT_EQ(typeid(e), *type) << std::hex << hr;
            EXPECT_EQ(e.HResult(), hr);
        }
    }
    emu::InjectFault("IInventoryItem.get_TitleId", S_FALSE, 1);
    EXPECT_NO_THROW(X().InventoryItem_TitleId(item.Get())) << "only negative codes fail";
}

TEST_F(MarshallingTest, DatesAreOffsetFrom1601AndClampedOnTheRawValue) {
    const std::vector<std::pair<int64_t, int64_t>> table = {
        {0, 504911232000000000},
        {3155378975999999998, 3660290207999999998},
        {3155378975999999999, 3155378975999999999},
        {INT64_MAX, 3155378975999999999},
        {-504911232000000000, 0},
        {INT64_MIN, INT64_MIN + 504911232000000000},
    };
    for (const auto& [raw, managed] : table) {
        item->endDate = raw;
        EXPECT_EQ(X().InventoryItem_EndDate(item.Get()), managed) << raw;
    }
}

TEST_F(MarshallingTest, BorrowedStringsAreNeverNullAndLiveAsLongAsTheirOwner) {
    EXPECT_STREQ(reinterpret_cast<const char*>(X().InventoryItem_ProductId(item.Get())), "") << "absent is empty";
    item->productId = emu::MakeString(u"gift-\U0001F381-\u5149");
    const int64_t strings = emu::LiveStrings();
    const char16_t* text = X().InventoryItem_ProductId(item.Get());
    EXPECT_EQ(emu::LiveStrings(), strings) << "reading keeps no string of its own";
    X().InventoryItem_TitleId(item.Get());
    EXPECT_EQ(std::u16string(text), u"gift-\U0001F381-\u5149");

    EXPECT_EQ(std::u16string(X().InventoryItem_Url(item.Get())), u"") << "an absent URI reads as the empty text";
    item->url = emu::Make<FakeUri>(u"https://example.invalid/i/1");
    const auto liveObjects = emu::LiveObjects();
    EXPECT_EQ(std::u16string(X().InventoryItem_Url(item.Get())), u"https://example.invalid/i/1");
    EXPECT_EQ(emu::LiveObjects(), liveObjects) << "the URI object is released again";
}

TEST_F(MarshallingTest, StringElementsStayReadableUntilTheirCollectionIsDisposed) {
    item->containerIds = emu::MakeStringVectorView({u"alpha", u"", u"\u0393\u03B1"});
    ObjectHandle ids = X().InventoryItem_ContainerIds(item.Get());
    item.Reset();  // the collection handle is independent of the item
    ASSERT_EQ(X().InventoryItem_ContainerIds_Length(ids), 3u);
    const char16_t* first = X().InventoryItem_ContainerIds_GetAt(ids, 0);
    EXPECT_EQ(std::u16string(X().InventoryItem_ContainerIds_GetAt(ids, 1)), u"");
    EXPECT_EQ(std::u16string(X().InventoryItem_ContainerIds_GetAt(ids, 2)), u"\u0393\u03B1");
    EXPECT_EQ(std::u16string(first), u"alpha");
    EXPECT_THROW(X().InventoryItem_ContainerIds_GetAt(ids, 3), Platform::OutOfBoundsException);
    X().InventoryItem_ContainerIds_Dispose(ids);
    EXPECT_EQ(emu::LiveObjects(), 0);
}

TEST_F(MarshallingTest, HandlesHoldOneReferenceAndDisposeReleasesExactlyOne) {
    EXPECT_EQ(X().InventoryItem_ContainerIds(item.Get()), nullptr) << "a null property stays null";
    item->containerIds = emu::MakeStringVectorView({u"a"});
    ObjectHandle first = X().InventoryItem_ContainerIds(item.Get());
    ObjectHandle second = X().InventoryItem_ContainerIds(item.Get());
    auto* view = static_cast<emu::VectorView<HSTRING>*>(
        static_cast<Windows::Foundation::Collections::IVectorView<HSTRING>*>(first));
    EXPECT_EQ(view->RefCount(), 3u) << "the item's and one per handle";
    X().InventoryItem_ContainerIds_Dispose(first);
    EXPECT_EQ(view->RefCount(), 2u);
    X().InventoryItem_ContainerIds_Dispose(second);
    EXPECT_EQ(view->RefCount(), 1u);
}

TEST_F(MarshallingTest, AFailingStringDuplicateLeavesNothingBehind) {
    item->productId = emu::MakeString(u"p");
    const int64_t strings = emu::LiveStrings();
    emu::InjectFault("WindowsDuplicateString", E_OUTOFMEMORY, 1);
    EXPECT_THROW(X().InventoryItem_ProductId(item.Get()), Platform::OutOfMemoryException);
    EXPECT_EQ(emu::LiveStrings(), strings);
}

}  // namespace
}  // namespace velmora::test
