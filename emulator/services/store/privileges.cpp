// Privileges of the emulated store: each user's flags per privilege id, the scripted resolutions,
// and what a check answers.
#include <map>
#include <mutex>
#include <utility>

#include "emulator/runtime/recent_calls.h"
#include "emulator/runtime/reset.h"
#include "emulator/services/store/store.h"

namespace velmora::emu {
namespace {

using Key = std::pair<uint32_t, uint32_t>;  // (user id, privilege id)

struct PrivilegeState {
    std::mutex mutex;
    std::map<Key, uint32_t> flags;  // absent: NoIssue
    std::map<Key, std::u16string> resolutions;
    RecentCalls<PrivilegeRequest> requests;
};

PrivilegeState& State() {
    static PrivilegeState state;
    return state;
}

const bool resetRegistered = [] {
    OnReset([] {
        PrivilegeState& s = State();
        std::lock_guard lock(s.mutex);
        s.flags.clear();
        s.resolutions.clear();
        s.requests.Clear();
    });
    return true;
}();

constexpr uint32_t kPurchaseRequired = uint32_t(PrivilegeCheckResult::PurchaseRequired);

}  // namespace

void SetPrivilege(uint32_t userId, uint32_t privilegeId, PrivilegeCheckResult result) {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    s.flags[{userId, privilegeId}] = uint32_t(result);
}

PrivilegeCheckResult PrivilegeOf(uint32_t userId, uint32_t privilegeId) {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    auto it = s.flags.find({userId, privilegeId});
    return PrivilegeCheckResult(it == s.flags.end() ? 0 : it->second);
}

void SetPrivilegeResolvable(uint32_t userId, uint32_t privilegeId, std::u16string_view productId) {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    s.resolutions[{userId, privilegeId}] = std::u16string(productId);
}

std::vector<Privilege> Privileges() {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    std::vector<Privilege> out;
    for (const auto& [key, flags] : s.flags) {
        Privilege& p = out.emplace_back();
        p.userId = key.first;
        p.privilegeId = key.second;
        p.result = PrivilegeCheckResult(flags);
        if (auto r = s.resolutions.find(key); r != s.resolutions.end() && (flags & kPurchaseRequired))
            p.resolveWithProduct = r->second;
    }
    return out;
}

std::vector<PrivilegeRequest> PrivilegeRequests() {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    return s.requests.Snapshot();
}

namespace store_detail {

void RecordPrivilegeRequest(PrivilegeRequest request) {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    s.requests.Record(std::move(request));
}

void ClearPurchaseRequired(uint32_t userId, uint32_t privilegeId) {
    PrivilegeState& s = State();
    std::lock_guard lock(s.mutex);
    if (auto it = s.flags.find({userId, privilegeId}); it != s.flags.end()) it->second &= ~kPurchaseRequired;
}

PrivilegeCheckResult CheckPrivileges(uint32_t userId, const std::vector<uint32_t>& privilegeIds,
                                     bool attemptResolution) {
    uint32_t combined = 0;
    for (uint32_t id : privilegeIds) {
        uint32_t flags = 0;
        std::u16string resolution;
        {
            PrivilegeState& s = State();
            std::lock_guard lock(s.mutex);
            const Key key{userId, id};
            if (auto it = s.flags.find(key); it != s.flags.end()) flags = it->second;
            auto r = s.resolutions.find(key);
            if (attemptResolution && (flags & kPurchaseRequired) && r != s.resolutions.end()) {
                resolution = std::move(r->second);
                s.resolutions.erase(r);
            }
        }
        // The purchase runs outside the lock: it raises the purchase event into subscriber code.
        if (!resolution.empty() && !Failed(Purchase(userId, resolution, 0, TransactionSource::PrivilegeResolution))) {
            ClearPurchaseRequired(userId, id);
            flags &= ~kPurchaseRequired;
        }
        combined |= flags;
    }
    return PrivilegeCheckResult(combined);
}

}  // namespace store_detail
}  // namespace velmora::emu
