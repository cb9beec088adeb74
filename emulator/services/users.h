// The emulated signed-in users and their Xbox Live services contexts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "emulator/runtime/objects.h"
#include "platform/host_interfaces.h"
#include "platform/marketplace.h"

namespace velmora::emu {

using ::ABI::Microsoft::Xbox::Services::IXboxLiveContext;
using ::ABI::Windows::Xbox::System::IUser;

struct UserInfo {
    uint32_t id = 0;
    std::u16string gamertag;
    std::u16string xboxUserId;

    bool operator==(const UserInfo&) const = default;
};

// Signs a user in; a second user with the same id replaces nothing and answers E_INVALIDARG.
EMU_API HRESULT AddUser(const UserInfo& user);
EMU_API uint32_t UserCount();
// The ids of the signed-in users, in the order they signed in, read at one moment.
EMU_API std::vector<uint32_t> SignedInUserIds();
// A copy of the signed-in user at an index, if any.
EMU_API std::optional<UserInfo> UserAt(uint32_t index);
// The index of the signed-in user with this id, or -1.
EMU_API int32_t FindUser(uint32_t id);
// The user object and the services context at an index, each with one reference for the caller.
EMU_API HRESULT GetUser(uint32_t index, IUser** user);
EMU_API HRESULT GetServicesContext(uint32_t index, IXboxLiveContext** context);

}  // namespace velmora::emu
