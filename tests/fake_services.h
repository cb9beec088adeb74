// Test doubles built on the emulator's runtime base: a user manager whose services context hands
// out an inventory service whose operations the test finishes by hand, so the plugin's core can
// be driven through every outcome and timing without the emulated console services.
#pragma once

#include <atomic>
#include <vector>

#include "emulator/runtime/async.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "platform/host_interfaces.h"
#include "platform/marketplace.h"

namespace velmora::test {

using namespace ::ABI;
using namespace ::ABI::Microsoft::Xbox::Services::Marketplace;
using ::ABI::Microsoft::Xbox::Services::IXboxLiveContext;
using ::ABI::Windows::Foundation::IAsyncOperation;
using ::ABI::Windows::Xbox::System::IUser;
using ItemsOperation = emu::AsyncOperation<IInventoryItemsResult*>;

// A result whose only content is its total.
class FakeItemsResult : public emu::RuntimeObject<FakeItemsResult, IInventoryItemsResult> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Test.FakeItemsResult";
    explicit FakeItemsResult(uint32_t total) : total_(total) {}
    HRESULT get_Items(Windows::Foundation::Collections::IVectorView<IInventoryItem*>** value) override {
        *value = nullptr;
        return S_OK;
    }
    HRESULT get_TotalItems(uint32_t* value) override {
        *value = total_;
        return S_OK;
    }

private:
    uint32_t total_;
};

// Hands out the operations the test prepared, in order.
class FakeInventoryService : public emu::RuntimeObject<FakeInventoryService, IInventoryService> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Test.FakeInventoryService";
    struct Shared {
        std::vector<ComPtr<ItemsOperation>> operations;  // handed out front first
    };
    explicit FakeInventoryService(Shared* shared) : shared_(shared) {}

    HRESULT GetInventoryItemsAsync(MediaItemType, IAsyncOperation<IInventoryItemsResult*>** op) override {
        return Next(op);
    }
    HRESULT GetInventoryItemsWithFiltersAsync(MediaItemType, InventoryItemState, InventoryItemAvailability, HSTRING,
                                              uint32_t, IAsyncOperation<IInventoryItemsResult*>** op) override {
        return Next(op);
    }
    HRESULT GetInventoryItemsForAllUsersAsync(MediaItemType, IAsyncOperation<IInventoryItemsResult*>** op) override {
        return Next(op);
    }
    HRESULT GetInventoryItemsForAllUsersWithFiltersAsync(MediaItemType, InventoryItemState, InventoryItemAvailability,
                                                         HSTRING, uint32_t,
                                                         IAsyncOperation<IInventoryItemsResult*>** op) override {
        return Next(op);
    }
    HRESULT GetInventoryItemAsync(IInventoryItem*, IAsyncOperation<IInventoryItem*>**) override { return E_NOTIMPL; }
    HRESULT ConsumeInventoryItemAsync(IInventoryItem*, uint32_t, HSTRING,
                                      IAsyncOperation<IConsumeInventoryItemResult*>**) override {
        return E_NOTIMPL;
    }

private:
    HRESULT Next(IAsyncOperation<IInventoryItemsResult*>** op) {
        *op = nullptr;
        if (shared_->operations.empty()) return S_OK;  // a null operation
        *op = shared_->operations.front().Detach();
        shared_->operations.erase(shared_->operations.begin());
        return S_OK;
    }
    Shared* shared_;
};

class FakeContext : public emu::RuntimeObject<FakeContext, IXboxLiveContext> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Test.FakeContext";
    explicit FakeContext(FakeInventoryService::Shared* shared) : shared_(shared) {}
    HRESULT get_User(IUser** value) override {
        *value = nullptr;
        return S_OK;
    }
    HRESULT get_InventoryService(IInventoryService** value) override {
        if (HRESULT hr = emu::TakeFault("IXboxLiveContext.get_InventoryService")) return hr;
        *value = new FakeInventoryService(shared_);
        return S_OK;
    }
    HRESULT get_CatalogService(ICatalogService** value) override {
        *value = nullptr;
        return E_NOTIMPL;
    }

private:
    FakeInventoryService::Shared* shared_;
};

// A user manager with the given user ids, counting what the plugin asks of it.
class FakeUserManager : public UserManager {
public:
    FakeUserManager(std::vector<uint32_t> ids, FakeInventoryService::Shared* shared)
        : ids_(std::move(ids)), shared_(shared) {}
    const char* GetInterfaceName() const override { return "FakeUserManager"; }
    uint32_t GetUserCount() override { return uint32_t(ids_.size()); }
    PlatformUser* GetUserAt(uint32_t index) override {
        ++userCalls;
        lastIndex = index;
        return nullptr;
    }
    UserServicesContext* GetServicesContextAt(uint32_t index) override {
        ++contextCalls;
        lastIndex = index;
        return index < ids_.size() ? new FakeContext(shared_) : nullptr;
    }
    int32_t FindUserIndex(uint32_t userId) override {
        ++findCalls;
        for (size_t i = 0; i < ids_.size(); ++i)
            if (ids_[i] == userId) return int32_t(i);
        return -1;
    }
    std::atomic<int> findCalls{0}, userCalls{0}, contextCalls{0};
    std::atomic<uint32_t> lastIndex{~0u};

private:
    std::vector<uint32_t> ids_;
    FakeInventoryService::Shared* shared_;
};

class FakeUri : public emu::RuntimeObject<FakeUri, Windows::Foundation::IUriRuntimeClass> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Foundation.Uri";
    explicit FakeUri(std::u16string_view text) : text_(emu::MakeString(text)) {}
    HRESULT get_AbsoluteUri(HSTRING* value) override { return WindowsDuplicateString(text_.Get(), value); }
    HRESULT get_DisplayUri(HSTRING* value) override { return WindowsDuplicateString(text_.Get(), value); }
    HRESULT get_Host(HSTRING* value) override { return WindowsDuplicateString(nullptr, value); }
    HRESULT get_Path(HSTRING* value) override { return WindowsDuplicateString(nullptr, value); }
    HRESULT get_SchemeName(HSTRING* value) override { return WindowsDuplicateString(nullptr, value); }

private:
    HStringOwner text_;
};

// An inventory item whose every value the test sets; each getter can be made to fail with the
// fault "IInventoryItem.get_<Property>".
class FakeItem : public emu::RuntimeObject<FakeItem, IInventoryItem> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Test.FakeItem";
    HStringOwner productId;
    ComPtr<Windows::Foundation::IUriRuntimeClass> url;
    ComPtr<Windows::Foundation::Collections::IVectorView<HSTRING>> containerIds;
    int64_t endDate = 0;
    uint32_t titleId = 0;
    int32_t state = 0;

    HRESULT get_Url(Windows::Foundation::IUriRuntimeClass** value) override {
        if (HRESULT hr = emu::TakeFault("IInventoryItem.get_Url")) return hr;
        *value = ComPtr(url).Detach();
        return S_OK;
    }
    HRESULT get_InventoryItemState(InventoryItemState* value) override {
        *value = InventoryItemState(state);
        return S_OK;
    }
    HRESULT get_MediaItemType(MediaItemType* value) override {
        *value = MediaItemType::GameConsumable;
        return S_OK;
    }
    HRESULT get_ProductId(HSTRING* value) override {
        if (HRESULT hr = emu::TakeFault("IInventoryItem.get_ProductId")) return hr;
        return WindowsDuplicateString(productId.Get(), value);
    }
    HRESULT get_TitleId(uint32_t* value) override {
        if (HRESULT hr = emu::TakeFault("IInventoryItem.get_TitleId")) return hr;
        *value = titleId;
        return S_OK;
    }
    HRESULT get_ContainerIds(Windows::Foundation::Collections::IVectorView<HSTRING>** value) override {
        *value = ComPtr(containerIds).Detach();
        return S_OK;
    }
    HRESULT get_RightsObtainedDate(Windows::Foundation::DateTime* value) override { return get_EndDate(value); }
    HRESULT get_StartDate(Windows::Foundation::DateTime* value) override { return get_EndDate(value); }
    HRESULT get_EndDate(Windows::Foundation::DateTime* value) override {
        value->UniversalTime = endDate;
        return S_OK;
    }
    HRESULT get_ConsumableUrl(Windows::Foundation::IUriRuntimeClass** value) override { return get_Url(value); }
    HRESULT get_ConsumableBalance(uint32_t* value) override { return get_TitleId(value); }
};

}  // namespace velmora::test
