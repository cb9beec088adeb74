#include "host/host_c_api.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "c_interfaces/last_error.h"
#include "host/host.h"
#include "host/text_encoding.h"

struct VelmoraHost {
    explicit VelmoraHost(velmora::host::HostOptions options) : host(options) {}
    velmora::host::Host host;
};

namespace {

constinit thread_local velmora::c_interfaces::LastError lastError;

void Fail(const char* message) { lastError.Set(message); }

// Each distinct text is kept once for the life of the process, so a pointer handed out stays valid
// without a thread-local copy (which a thread's end would have to destroy).
const char* Interned(std::string text) {
    static std::mutex mutex;
    static auto* kept = new std::set<std::string>;  // never destroyed: its texts may be read until the end
    std::lock_guard lock(mutex);
    return kept->insert(std::move(text)).first->c_str();
}

size_t CopyOut(const std::string& text, char* buffer, size_t capacity) {
    if (buffer && capacity > 0) {
        const size_t n = std::min(text.size(), capacity - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

// Exceptions must not cross into C or managed code.
template <class F>
auto Guarded(F&& f, decltype(f()) onFailure) noexcept -> decltype(f()) {
    try {
        return f();
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("velmora host: unknown failure");
    }
    return onFailure;
}

// The delivery mode a C caller names, or nothing (and the reason left) for an unknown one.
std::optional<velmora::host::DeliveryMode> DeliveryMode(int delivery) {
    switch (delivery) {
        case VELMORA_HOST_DEFERRED:
            return velmora::host::DeliveryMode::Deferred;
        case VELMORA_HOST_SYNCHRONOUS:
            return velmora::host::DeliveryMode::Synchronous;
        default:
            Fail("velmora host: unknown delivery mode: use VELMORA_HOST_DEFERRED (0) or VELMORA_HOST_SYNCHRONOUS (1)");
            return std::nullopt;
    }
}

}  // namespace

extern "C" {

VelmoraHost* velmora_host_create(int delivery) {
    lastError.Clear();
    const auto mode = DeliveryMode(delivery);
    if (!mode) return nullptr;
    return Guarded(
        [&] {
            velmora::host::HostOptions options;
            options.delivery = *mode;
            return new VelmoraHost(options);
        },
        static_cast<VelmoraHost*>(nullptr));
}

int velmora_host_set_delivery(VelmoraHost* host, int delivery) {
    lastError.Clear();
    if (!host) {
        Fail("velmora host: null host");
        return 0;
    }
    const auto mode = DeliveryMode(delivery);
    if (!mode) return 0;
    host->host.Queue().SetMode(*mode);
    return 1;
}

void velmora_host_destroy(VelmoraHost* host) { delete host; }

const char* velmora_host_default_plugin_path(void) {
    try {
        return Interned(velmora::host::DefaultPluginPath());
    } catch (...) {
        return "";  // out of memory; no exception may reach a C caller
    }
}

int velmora_host_load(VelmoraHost* host, const char* path, int fresh_copy) {
    lastError.Clear();
    if (!host) {
        Fail("velmora host: null host");
        return 0;
    }
    return Guarded(
        [&] {
            host->host.Load(path ? std::string(path) : velmora::host::DefaultPluginPath(), fresh_copy != 0);
            return 1;
        },
        0);
}

int velmora_host_unload(VelmoraHost* host) {
    if (!host || !host->host.Loaded()) return 0;
    host->host.Unload();
    return 1;
}

size_t velmora_host_pump(VelmoraHost* host) {
    return host ? Guarded([&] { return host->host.Pump(); }, size_t{0}) : 0;
}

int velmora_host_wait_and_pump(VelmoraHost* host, uint32_t timeout_ms) {
    if (!host) return 0;
    return Guarded([&] { return host->host.Queue().WaitAndPump(std::chrono::milliseconds(timeout_ms)) ? 1 : 0; }, 0);
}

size_t velmora_host_log_line_count(VelmoraHost* host) { return host ? host->host.Log().LineCount() : 0; }

size_t velmora_host_log_line(VelmoraHost* host, size_t index, char* buffer, size_t capacity) {
    const auto line = host ? host->host.Log().Line(index) : std::nullopt;
    if (!line) return size_t(-1);
    return CopyOut(velmora::host::Utf16ToUtf8(line->text), buffer, capacity);
}

size_t velmora_host_log_tag(VelmoraHost* host, size_t index, char* buffer, size_t capacity) {
    const auto line = host ? host->host.Log().Line(index) : std::nullopt;
    if (!line) return size_t(-1);
    return CopyOut(velmora::host::Utf16ToUtf8(line->tag), buffer, capacity);
}

void* velmora_host_resolve(VelmoraHost* host, const char* name) { return host ? host->host.Resolve(name) : nullptr; }

const char* velmora_host_last_error(void) { return lastError.Text(); }

}  // extern "C"
