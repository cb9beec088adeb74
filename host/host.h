// The reference host: what a game engine does around the plugin, assembled in one object.
//
// A Host owns the event queue, the plugin log and the user manager, registers them in the
// process-global interface registry, loads the plugin and hands it the registry, and answers the
// plugin's two start-up requests by delivering the user manager and the log.
//
// Only one Host may be alive at a time (the registry is process-global because HostInterfaces
// carries no object argument); creating a second one throws std::logic_error.
//
// Typical use:
//     velmora::host::Host host;
//     host.Load();                        // the built plugin, or $VELMORA_PLUGIN
//     host.Queue().PumpAll();             // delivers the start-up answers
//     host.Exports().InitializePlugin();
//     host.Queue().PumpUntil([&] { return done; }, std::chrono::seconds(5));
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "host/emulator_user_manager.h"
#include "host/event_queue.h"
#include "host/plugin_loader.h"
#include "host/plugin_log.h"
#include "platform/host_interfaces.h"

namespace velmora::host {

// The plugin sends these two one-byte requests at load, in this order.
inline constexpr EventId kUserManagerRequestId = HaldenGuidFromString("FF0BCB4A-2127-E5C5-07C9-275D6CCE40B6");
inline constexpr EventId kLogRequestId = HaldenGuidFromString("C0929D44-1BD7-D700-7BE3-65C689E39BA8");
// The answers: OnUserManagerRequested carries the 8-byte UserManager*, OnIHaldenPluginLogRequested
// the 8-byte IHaldenPluginLog*.
inline constexpr EventId kUserManagerDeliveryId = HaldenGuidFromString("422C2042-D4CD-CBA0-523E-AF56E9092D8A");
inline constexpr EventId kLogDeliveryId = HaldenGuidFromString("8DE45141-EECB-A716-55DF-C6C3D284DAA4");

// How the host answers one start-up request.
enum class AnswerMode {
    Deferred,        // sent from the request's delivery, so the answer is queued like any event
    Synchronous,     // delivered inside the plugin's SendEvent of the request, even in deferred mode
    Twice,           // the same answer sent two times
    TwiceDifferent,  // the answer, then a second, different instance
    NullThenReal,    // a null pointer, then the answer
    Null,            // a null pointer only
    Never,           // no answer
};

struct HostOptions {
    DeliveryMode delivery = DeliveryMode::Deferred;
    // Whether GetInterface answers the queue / the user manager (null otherwise).
    bool registryOffersQueue = true;
    bool registryOffersUserManager = true;
    // Used instead of the emulator's user manager when set; not owned, must outlive the Host.
    UserManager* userManager = nullptr;
    AnswerMode userManagerAnswer = AnswerMode::Deferred;
    AnswerMode logAnswer = AnswerMode::Deferred;
    // Records the plugin's AddHandler and SendEvent calls (EventQueue::Trace).
    bool traceEvents = false;
    // Prints every log line as "[tag] text" to this stream when set.
    FILE* echoLog = nullptr;
};

// $VELMORA_PLUGIN when set, otherwise the plugin built next to the host.
std::string DefaultPluginPath();

class Host {
public:
    // Throws std::logic_error when another Host is alive.
    explicit Host(HostOptions options = {});
    // Stops delivering, waits for the emulator's pending work, drops the queued events without
    // delivering them, then unloads the plugin.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Loads the plugin (see LoadedPlugin for `freshCopy`) and calls its HaldenPluginLoad with the
    // registry. Throws std::runtime_error when the library or an export is missing, and
    // std::logic_error when a plugin is already loaded.
    void Load(const std::string& path = DefaultPluginPath(), bool freshCopy = false);
    // Calls HaldenPluginUnload, drops the plugin's queued events and handlers, and dlcloses the
    // library. Nothing happens when no plugin is loaded.
    void Unload();
    bool Loaded() const { return plugin_ != nullptr; }

    // The plugin's typed exports; throws std::logic_error when no plugin is loaded.
    const VelmoraExports& Exports() const;
    // Any symbol of the loaded plugin, or null.
    void* Resolve(const char* name) const;

    EventQueue& Queue() { return queue_; }
    PluginLog& Log() { return log_; }
    // The user manager the host registers and delivers (the custom one when given).
    UserManager& Users() { return *users_; }
    // The different instances a TwiceDifferent answer sends second.
    PluginLog& SecondLog() { return secondLog_; }
    UserManager& SecondUsers() { return secondUsers_; }
    HostInterfaces* Interfaces();
    const HostOptions& Options() const { return options_; }

    // Send OnUserManagerRequested / OnIHaldenPluginLogRequested with the given pointer (null
    // allowed), through the queue like any event.
    void DeliverUserManager(UserManager* users);
    void DeliverLog(IHaldenPluginLog* log);

    // Shorthands for the queue's pump.
    size_t Pump() { return queue_.Pump(); }
    size_t PumpAll() { return queue_.PumpAll(); }
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        return queue_.PumpUntil(done, timeout);
    }

private:
    class StartupRequestHandler final : public HaldenEventQueue::EventHandler {
    public:
        StartupRequestHandler(EventId id, std::function<void()> answer) : id_(id), answer_(std::move(answer)) {}
        void HandleEvent(const EventId*, const void*) override { answer_(); }
        EventId GetEventId() const override { return id_; }
        int32_t ReservedQuery() const override { return 0; }

    private:
        EventId id_;
        std::function<void()> answer_;
    };

    // Holds the registry for the Host's whole life: claimed first, released last.
    class RegistryClaim {
    public:
        explicit RegistryClaim(const void* owner);
        ~RegistryClaim();
        RegistryClaim(const RegistryClaim&) = delete;
        RegistryClaim& operator=(const RegistryClaim&) = delete;

    private:
        const void* owner_;
    };

    void RegisterHostInterfaces();
    void AnswerUserManagerRequest();
    void AnswerLogRequest();
    void SendPointer(const EventId& id, const void* pointer);
    void Answer(const EventId& id, AnswerMode mode, const void* real, const void* second);
    void UnloadPlugin();

    RegistryClaim claim_;
    HostOptions options_;
    EventQueue queue_;
    PluginLog log_;
    PluginLog secondLog_;
    EmulatorUserManager emulatorUsers_;
    EmulatorUserManager secondUsers_;
    UserManager* users_;
    StartupRequestHandler userManagerRequest_;
    StartupRequestHandler logRequest_;
    std::unique_ptr<LoadedPlugin> plugin_;
};

}  // namespace velmora::host
