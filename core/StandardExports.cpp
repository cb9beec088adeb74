// Plugin entry and lifecycle: the load sequence, the start-up deliveries, the initialization
// line, and the version and readiness queries.
#include <cstdarg>

#include "core/event_handlers.h"
#include "core/module_state.h"

namespace HaldenPlugin {
namespace {

#define VELMORA_STRINGIZE_(x) #x
#define VELMORA_STRINGIZE(x) VELMORA_STRINGIZE_(x)
// The initialization line names where it was written: this file and this line, which tools
// that read host logs match on.
constexpr const char16_t* kLocation = u"" __FILE__ "(" VELMORA_STRINGIZE(__LINE__) ")";

constexpr int32_t kFrameworkVersion = 50700;
constexpr int32_t kPluginVersion = 10100;

void LogLine(IHaldenPluginLog* log, const char16_t* tag, const char16_t* location, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    log->LogFormatV(tag, location, format, args);
    va_end(args);
}

ServiceTable& Table() {
    static constinit ServiceTable table;
    return table;
}

void StoreUserManager(const void* payload) {
    Table().AddPrimary(UserManager::Id, static_cast<const InterfaceDelivery*>(payload)->instance);
}

void StorePluginLog(const void* payload) {
    Table().AddSecondary(IHaldenPluginLog::Id, static_cast<const InterfaceDelivery*>(payload)->instance);
}

// Written once, on the first log delivery after the load; a null log writes nothing and leaves
// the line to the next delivery.
void LogPluginInitialized(const void* payload) {
    ModuleState& m = Module();
    if (m.initializationLogged.load(std::memory_order_acquire)) return;
    auto* log = static_cast<IHaldenPluginLog*>(static_cast<const InterfaceDelivery*>(payload)->instance);
    if (!log) return;
    LogLine(log, u"Velmora", kLocation, u"PLUGIN INITIALIZED: [Velmora] Framework (%d) Version (%d)",
            kFrameworkVersion, kPluginVersion);
    m.initializationLogged.store(true, std::memory_order_release);
}

using HaldenEventQueue::StaticFunctionEventHandler;
constinit StaticFunctionEventHandler<OnUserManagerRequested> userManagerDeliveryHandler{StoreUserManager};
constinit StaticFunctionEventHandler<OnIHaldenPluginLogRequested> logDeliveryHandler{StorePluginLog};
constinit StaticFunctionEventHandler<OnIHaldenPluginLogRequested> initializationLogHandler{LogPluginInitialized};

}  // namespace
}  // namespace HaldenPlugin

using namespace HaldenPlugin;

extern "C" {

// A load after a successful one does nothing: the module binds one host for its lifetime.
void HaldenPluginLoad(HostInterfaces* registry) {
    ModuleState& m = Module();
    if (!registry || m.registry.load(std::memory_order_acquire)) return;
    auto* queue = static_cast<HostEventQueue*>(registry->GetInterface(HostEventQueue::Id));
    m.queue.store(queue, std::memory_order_release);
    if (!queue) return;
    m.table.store(&Table(), std::memory_order_release);
    queue->AddHandler(&userManagerDeliveryHandler);
    queue->AddHandler(&logDeliveryHandler);
    PostEvent(FirstStartupRequest{});
    PostEvent(SecondStartupRequest{});
    m.registry.store(registry, std::memory_order_release);
    queue->AddHandler(&initializationLogHandler);
}

void HaldenPluginUnload() {}
int32_t GetPluginFrameworkVersion() { return kFrameworkVersion; }
int32_t GetPluginVersion() { return kPluginVersion; }
int32_t GetPlatformId() { return 0; }
int32_t InitializePlugin() { return 0; }
void LogCallbackException() {}

// Before any load created the service table, the plugin is not initialized.
bool AmFullyInitialized() {
    ModuleState& m = Module();
    if (m.registry.load(std::memory_order_acquire)) return true;
    const ServiceTable* table = m.table.load(std::memory_order_acquire);
    return table && table->primary.Size() == 1;
}
}
