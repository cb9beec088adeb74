// A stand-in plugin for the host's own tests: it exports all 150 names, answers zero from every
// export, and plays the real plugin's start-up: at load it finds the queue in the registry,
// registers a handler for each start-up answer and sends the two one-byte requests. What it
// receives is read back through the FakePlugin_* functions (resolved by name).
#include <cstdarg>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/host_interfaces.h"
#include "velmora/velmora.h"

#define FAKE_API extern "C" VELMORA_API

namespace {

constexpr EventId kUserManagerRequestId = HaldenGuidFromString("FF0BCB4A-2127-E5C5-07C9-275D6CCE40B6");
constexpr EventId kLogRequestId = HaldenGuidFromString("C0929D44-1BD7-D700-7BE3-65C689E39BA8");
constexpr EventId kUserManagerDeliveryId = HaldenGuidFromString("422C2042-D4CD-CBA0-523E-AF56E9092D8A");
constexpr EventId kLogDeliveryId = HaldenGuidFromString("8DE45141-EECB-A716-55DF-C6C3D284DAA4");

struct Answer {
    void* pointer;
    bool insideRequest;  // delivered while the plugin's SendEvent of a request had not returned
};

int loads = 0;
int unloads = 0;
int sendDepth = 0;
HostEventQueue* queue = nullptr;
UserManager* registryUsers = nullptr;
UserManager* users = nullptr;
IHaldenPluginLog* logger = nullptr;
std::vector<Answer> answers[2];

class AnswerHandler final : public HaldenEventQueue::EventHandler {
public:
    explicit AnswerHandler(int which) : which_(which) {}
    void HandleEvent(const EventId*, const void* payload) override {
        void* pointer;
        std::memcpy(&pointer, payload, sizeof pointer);
        answers[which_].push_back({pointer, sendDepth > 0});
        if (!pointer) return;
        if (which_ == 0) users = static_cast<UserManager*>(pointer);
        if (which_ == 1) logger = static_cast<IHaldenPluginLog*>(pointer);
    }
    EventId GetEventId() const override { return which_ == 0 ? kUserManagerDeliveryId : kLogDeliveryId; }
    int32_t ReservedQuery() const override { return 0; }

private:
    int which_;
};

AnswerHandler userManagerHandler(0);
AnswerHandler logHandler(1);

void SendRequest(const EventId& id) {
    const unsigned char request = 1;
    ++sendDepth;
    queue->SendEvent(&id, &request, 1);
    --sendDepth;
}

void Load(HostInterfaces* registry) {
    ++loads;
    queue = static_cast<HostEventQueue*>(registry->GetInterface(HostEventQueue::Id));
    registryUsers = static_cast<UserManager*>(registry->GetInterface(UserManager::Id));
    if (!queue) return;
    queue->AddHandler(&userManagerHandler);
    queue->AddHandler(&logHandler);
    SendRequest(kUserManagerRequestId);
    SendRequest(kLogRequestId);
}

void Log(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    logger->LogFormatV(u"FakePlugin", u"InitializePlugin", format, args);
    va_end(args);
}

// Logs through the delivered log, the way the real plugin reports its state.
int32_t Initialize() {
    if (!logger) return 0;
    Log(u"users=%u queue=%s %d%%", users ? users->GetUserCount() : 0u, queue ? u"yes" : u"no", 100);
    return 1;
}

template <class R>
struct Export {
    std::string_view name;
    template <class... A>
    R operator()(A... a) const {
        if constexpr (std::is_same_v<R, void> && std::is_same_v<std::tuple<A...>, std::tuple<HostInterfaces*>>) {
            if (name == "HaldenPluginLoad") return Load(a...);
        }
        if constexpr (std::is_same_v<R, void> && sizeof...(A) == 0) {
            if (name == "HaldenPluginUnload") ++unloads;
        }
        if constexpr (std::is_same_v<R, int32_t> && sizeof...(A) == 0) {
            if (name == "InitializePlugin") return Initialize();
        }
        ((void)a, ...);
        return R();
    }
};

}  // namespace

extern "C" {
#define VELMORA_EXPORT(result, name, params, args) \
    VELMORA_API result name params { return Export<result>{#name} args; }
#include "velmora/exports.inc"
#undef VELMORA_EXPORT
}

FAKE_API int FakePlugin_Loads() { return loads; }
FAKE_API int FakePlugin_Unloads() { return unloads; }
FAKE_API void* FakePlugin_RegistryQueue() { return queue; }
FAKE_API void* FakePlugin_RegistryUsers() { return registryUsers; }
// which: 0 for the user manager answers, 1 for the log answers.
FAKE_API int FakePlugin_AnswerCount(int which) { return int(answers[which].size()); }
FAKE_API void* FakePlugin_Answer(int which, int index) { return answers[which][size_t(index)].pointer; }
FAKE_API int FakePlugin_AnswerInsideRequest(int which, int index) {
    return answers[which][size_t(index)].insideRequest;
}
