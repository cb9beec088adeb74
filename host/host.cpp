#include "host/host.h"

#include <cstdlib>
#include <stdexcept>

#include "emulator/runtime/worker_pool.h"
#include "host/registry.h"

namespace velmora::host {

std::string DefaultPluginPath() {
    if (const char* path = std::getenv("VELMORA_PLUGIN"); path && *path) return path;
    return VELMORA_DEFAULT_PLUGIN_PATH;
}

Host::RegistryClaim::RegistryClaim(const void* owner) : owner_(owner) { ClaimRegistry(owner); }

Host::RegistryClaim::~RegistryClaim() { ReleaseRegistry(owner_); }

Host::Host(HostOptions options)
    : claim_(this),
      options_(options),
      queue_(options.delivery),
      users_(options.userManager ? options.userManager : &emulatorUsers_),
      userManagerRequest_(kUserManagerRequestId, [this] { AnswerUserManagerRequest(); }),
      logRequest_(kLogRequestId, [this] { AnswerLogRequest(); }) {
    RegisterHostInterfaces();
    queue_.AddHostHandler(&userManagerRequest_, options_.userManagerAnswer == AnswerMode::Synchronous);
    queue_.AddHostHandler(&logRequest_, options_.logAnswer == AnswerMode::Synchronous);
    queue_.EnableTrace(options_.traceEvents);
    if (options_.echoLog) {
        log_.EchoTo(options_.echoLog);
        secondLog_.EchoTo(options_.echoLog);
    }
}

Host::~Host() {
    // Nothing may reach the plugin's handlers once unloading starts, not even an event a worker
    // thread sends while it finishes.
    queue_.StopDelivering();
    emu::WaitIdle();
    queue_.DropPending();
    UnloadPlugin();
}

void Host::RegisterHostInterfaces() {
    ClearInterfaces();
    if (options_.registryOffersQueue) RegisterInterface(HostEventQueue::Id, &queue_);
    if (options_.registryOffersUserManager) RegisterInterface(UserManager::Id, users_);
}

HostInterfaces* Host::Interfaces() { return InterfaceTable(); }

void Host::Load(const std::string& path, bool freshCopy) {
    if (plugin_) {
        throw std::logic_error("velmora host: a plugin is already loaded from '" + plugin_->Path() +
                               "'; call Unload() before loading another");
    }
    plugin_ = std::make_unique<LoadedPlugin>(path, freshCopy);
    plugin_->Exports().HaldenPluginLoad(Interfaces());
}

void Host::Unload() {
    if (!plugin_) return;
    const bool wasDelivering = queue_.Delivering();
    queue_.StopDelivering();
    emu::WaitIdle();
    queue_.DropPending();
    UnloadPlugin();
    if (wasDelivering) queue_.ResumeDelivering();
}

void Host::UnloadPlugin() {
    if (!plugin_) return;
    plugin_->Exports().HaldenPluginUnload();
    // Unloading may cancel operations whose completions still run on workers and send events.
    emu::WaitIdle();
    queue_.DropPending();
    // The plugin's handlers and anything it registered live in the module about to be unmapped.
    queue_.RemoveGuestHandlers();
    RegisterHostInterfaces();
    plugin_.reset();
}

const VelmoraExports& Host::Exports() const {
    if (!plugin_) throw std::logic_error("velmora host: no plugin is loaded; call Load() first");
    return plugin_->Exports();
}

void* Host::Resolve(const char* name) const { return plugin_ ? plugin_->Resolve(name) : nullptr; }

void Host::DeliverUserManager(UserManager* users) { SendPointer(kUserManagerDeliveryId, users); }

void Host::DeliverLog(IHaldenPluginLog* log) { SendPointer(kLogDeliveryId, log); }

void Host::SendPointer(const EventId& id, const void* pointer) { queue_.Post(id, &pointer, sizeof pointer); }

void Host::AnswerUserManagerRequest() {
    Answer(kUserManagerDeliveryId, options_.userManagerAnswer, static_cast<UserManager*>(users_),
           static_cast<UserManager*>(&secondUsers_));
}

void Host::AnswerLogRequest() {
    Answer(kLogDeliveryId, options_.logAnswer, static_cast<IHaldenPluginLog*>(&log_),
           static_cast<IHaldenPluginLog*>(&secondLog_));
}

void Host::Answer(const EventId& id, AnswerMode mode, const void* real, const void* second) {
    switch (mode) {
        case AnswerMode::Deferred:
            SendPointer(id, real);
            break;
        case AnswerMode::Synchronous:
            queue_.DeliverNow(id, &real, sizeof real);
            break;
        case AnswerMode::Twice:
            SendPointer(id, real);
            SendPointer(id, real);
            break;
        case AnswerMode::TwiceDifferent:
            SendPointer(id, real);
            SendPointer(id, second);
            break;
        case AnswerMode::NullThenReal:
            SendPointer(id, nullptr);
            SendPointer(id, real);
            break;
        case AnswerMode::Null:
            SendPointer(id, nullptr);
            break;
        case AnswerMode::Never:
            break;
    }
}

}  // namespace velmora::host
