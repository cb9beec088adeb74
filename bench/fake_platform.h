// A platform double for the completion benchmarks: a user manager whose services context hands
// out an inventory service whose operations the benchmark prepared and finishes itself, from
// threads of its own. It isolates the plugin's share of the completion road from the emulated
// services (which build records, log calls and run their own worker pool).
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "emulator/runtime/async.h"
#include "emulator/runtime/objects.h"
#include "emulator/runtime/vectors.h"
#include "platform/host_interfaces.h"
#include "platform/marketplace.h"

namespace velmora::bench {

using namespace ::ABI;
using namespace ::ABI::Microsoft::Xbox::Services::Marketplace;
using ::ABI::Microsoft::Xbox::Services::IXboxLiveContext;
using ::ABI::Windows::Foundation::IAsyncOperation;
using ::ABI::Windows::Foundation::Collections::IVectorView;
using ::ABI::Windows::Xbox::System::IUser;
using ItemsOperation = emu::AsyncOperation<IInventoryItemsResult*>;

// The result an operation completes with: a total and no items.
class FakeItemsResult : public emu::RuntimeObject<FakeItemsResult, IInventoryItemsResult> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Bench.FakeItemsResult";
    HRESULT get_Items(IVectorView<IInventoryItem*>** value) override {
        *value = nullptr;
        return S_OK;
    }
    HRESULT get_TotalItems(uint32_t* value) override {
        *value = 0;
        return S_OK;
    }
};

// The operations the next query calls hand out, in order. Filled and handed out on one thread
// (the one calling the exports); an exhausted list hands out a null operation.
struct PreparedOperations {
    std::vector<ComPtr<ItemsOperation>> operations;
    size_t next = 0;

    void Prepare(size_t count) {
        operations.clear();
        operations.reserve(count);
        for (size_t i = 0; i < count; ++i) operations.push_back(emu::Make<ItemsOperation>());
        next = 0;
    }
};

class FakeInventoryService : public emu::RuntimeObject<FakeInventoryService, IInventoryService> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Bench.FakeInventoryService";
    explicit FakeInventoryService(PreparedOperations* prepared) : prepared_(prepared) {}

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
        if (prepared_->next < prepared_->operations.size())
            *op = ComPtr<ItemsOperation>(prepared_->operations[prepared_->next++]).Detach();
        return S_OK;
    }
    PreparedOperations* prepared_;
};

class FakeContext : public emu::RuntimeObject<FakeContext, IXboxLiveContext> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Bench.FakeContext";
    explicit FakeContext(PreparedOperations* prepared) : prepared_(prepared) {}
    HRESULT get_User(IUser** value) override {
        *value = nullptr;
        return S_OK;
    }
    HRESULT get_InventoryService(IInventoryService** value) override {
        *value = new FakeInventoryService(prepared_);
        return S_OK;
    }
    HRESULT get_CatalogService(ICatalogService** value) override {
        *value = nullptr;
        return E_NOTIMPL;
    }

private:
    PreparedOperations* prepared_;
};

// One signed-in user, id kFakeUserId.
class FakeUserManager final : public UserManager {
public:
    static constexpr uint32_t kFakeUserId = 7;
    explicit FakeUserManager(PreparedOperations* prepared) : prepared_(prepared) {}
    const char* GetInterfaceName() const override { return "Bench.FakeUserManager"; }
    uint32_t GetUserCount() override { return 1; }
    PlatformUser* GetUserAt(uint32_t) override { return nullptr; }
    UserServicesContext* GetServicesContextAt(uint32_t index) override {
        return index == 0 ? new FakeContext(prepared_) : nullptr;
    }
    int32_t FindUserIndex(uint32_t userId) override { return userId == kFakeUserId ? 0 : -1; }

private:
    PreparedOperations* prepared_;
};

}  // namespace velmora::bench
