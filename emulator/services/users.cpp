// Signed-in users and their services contexts.
#include "emulator/services/users.h"

#include "emulator/runtime/faults.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::emu {
namespace {

class User : public RuntimeObject<User, IUser> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Windows.Xbox.System.User";
    explicit User(const UserInfo& info)
        : id_(info.id), xboxUserId_(MakeString(info.xboxUserId)), gamertag_(MakeString(info.gamertag)) {}
    HRESULT get_Id(uint32_t* value) override {
        if (HRESULT hr = TakeFault("IUser.get_Id")) return hr;
        *value = id_;
        return S_OK;
    }
    HRESULT get_XboxUserId(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IUser.get_XboxUserId")) return hr;
        return WindowsDuplicateString(xboxUserId_.Get(), value);
    }
    HRESULT get_Gamertag(HSTRING* value) override {
        if (HRESULT hr = TakeFault("IUser.get_Gamertag")) return hr;
        return WindowsDuplicateString(gamertag_.Get(), value);
    }
    HRESULT get_IsSignedIn(boolean* value) override {
        if (HRESULT hr = TakeFault("IUser.get_IsSignedIn")) return hr;
        *value = 1;
        return S_OK;
    }

private:
    uint32_t id_;
    HStringOwner xboxUserId_;
    HStringOwner gamertag_;
};

class XboxLiveContext : public RuntimeObject<XboxLiveContext, IXboxLiveContext> {
public:
    static constexpr char16_t RuntimeClassName[] = u"Microsoft.Xbox.Services.XboxLiveContext";
    // The context hands out its own services, as the console's does: one object each, not one
    // per read.
    XboxLiveContext(ComPtr<IUser> user, uint32_t userId) : user_(std::move(user)) {
        CreateInventoryService(userId, inventory_.Put());
        CreateCatalogService(userId, catalog_.Put());
    }
    HRESULT get_User(IUser** value) override {
        *value = ComPtr<IUser>(user_).Detach();
        return S_OK;
    }
    HRESULT get_InventoryService(::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryService** value) override {
        if (HRESULT hr = TakeFault("IXboxLiveContext.get_InventoryService")) return hr;
        *value = ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryService>(inventory_).Detach();
        return S_OK;
    }
    HRESULT get_CatalogService(::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogService** value) override {
        if (HRESULT hr = TakeFault("IXboxLiveContext.get_CatalogService")) return hr;
        *value = ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogService>(catalog_).Detach();
        return S_OK;
    }

private:
    ComPtr<IUser> user_;
    ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryService> inventory_;
    ComPtr<::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogService> catalog_;
};

struct SignedIn {
    UserInfo info;
    ComPtr<IUser> user;
    ComPtr<IXboxLiveContext> context;
};

StateLock usersMutex;
std::vector<SignedIn>& Users() {
    static std::vector<SignedIn> users;
    return users;
}

const bool resetRegistered = [] {
    OnReset([] {
        std::vector<SignedIn> dropped;
        std::lock_guard lock(usersMutex);
        dropped.swap(Users());
    });
    return true;
}();

}  // namespace

HRESULT AddUser(const UserInfo& info) {
    std::lock_guard lock(usersMutex);
    for (const auto& u : Users())
        if (u.info.id == info.id) return E_INVALIDARG;
    auto user = Make<User>(info);
    ComPtr<IUser> asUser(user.Get());
    auto context = Make<XboxLiveContext>(asUser, info.id);
    Users().push_back(SignedIn{info, asUser, ComPtr<IXboxLiveContext>(context.Get())});
    return S_OK;
}

uint32_t UserCount() {
    std::lock_guard lock(usersMutex);
    return uint32_t(Users().size());
}

std::vector<uint32_t> SignedInUserIds() {
    std::lock_guard lock(usersMutex);
    std::vector<uint32_t> ids;
    for (const auto& u : Users()) ids.push_back(u.info.id);
    return ids;
}

std::optional<UserInfo> UserAt(uint32_t index) {
    std::lock_guard lock(usersMutex);
    if (index >= Users().size()) return std::nullopt;
    return Users()[index].info;
}

int32_t FindUser(uint32_t id) {
    std::lock_guard lock(usersMutex);
    const auto& users = Users();
    for (size_t i = 0; i < users.size(); ++i)
        if (users[i].info.id == id) return int32_t(i);
    return -1;
}

HRESULT GetUser(uint32_t index, IUser** user) {
    std::lock_guard lock(usersMutex);
    *user = index < Users().size() ? ComPtr<IUser>(Users()[index].user).Detach() : nullptr;
    return *user ? S_OK : E_BOUNDS;
}

HRESULT GetServicesContext(uint32_t index, IXboxLiveContext** context) {
    std::lock_guard lock(usersMutex);
    *context = index < Users().size() ? ComPtr<IXboxLiveContext>(Users()[index].context).Detach() : nullptr;
    return *context ? S_OK : E_BOUNDS;
}

}  // namespace velmora::emu
