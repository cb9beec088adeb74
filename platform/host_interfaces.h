// The host engine's interfaces that the plugin calls: registry, event queue, user manager, log,
// and the abstract event handler. The host and the plugin are built by the same toolchain, so
// these are plain C++ classes whose virtual slots are listed in order.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "platform/com_base.h"

// A 16-byte id in GUID layout, read as two little-endian 64-bit words.
struct HaldenGuid {
    uint64_t first;
    uint64_t second;
    friend constexpr bool operator==(const HaldenGuid&, const HaldenGuid&) = default;
};
static_assert(sizeof(HaldenGuid) == 16);

// Parses the registry form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" at compile time.
consteval HaldenGuid HaldenGuidFromString(const char (&text)[37]) {
    auto hex = [&](int at, int digits) {
        uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            const char c = text[at + i];
            v = v << 4 | uint64_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return v;
    };
    uint64_t second = 0;
    const int bytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) second |= hex(bytePos[i], 2) << (8 * i);
    return HaldenGuid{hex(0, 8) | hex(9, 4) << 32 | hex(14, 4) << 48, second};
}

using EventId = HaldenGuid;
using InterfaceId = HaldenGuid;

// The registry-facing base of every host interface.
class IHaldenInterface {
public:
    virtual const char* GetInterfaceName() const = 0;  // slot 1

protected:
    ~IHaldenInterface() = default;
};

// The registry: plain function pointers, no object argument.
struct HostInterfaces {
    IHaldenInterface* (*GetInterface)(InterfaceId id);
    void (*RegisterInterface)(InterfaceId id, IHaldenInterface* instance);
};

namespace HaldenEventQueue {

class EventHandler {
public:
    constexpr EventHandler() = default;
    virtual ~EventHandler() = default;
    // The first argument is the id the event was sent with; no plugin handler reads it.
    virtual void HandleEvent(const EventId* eventId, const void* payload) = 0;
    virtual EventId GetEventId() const = 0;
    virtual int32_t ReservedQuery() const = 0;

    // Owned by the host; the plugin never touches it after construction.
    void* hostData = nullptr;
};

}  // namespace HaldenEventQueue

class HostEventQueue : public IHaldenInterface {
public:
    static constexpr InterfaceId Id = HaldenGuidFromString("F5AE374D-C347-9959-7F9E-F48EFCE6AD9B");
    virtual void AddHandler(HaldenEventQueue::EventHandler* handler) = 0;     // slot 2
    virtual void RemoveHandler(HaldenEventQueue::EventHandler* handler) = 0;  // slot 3
    // Thread-safe. The id and payload are valid only during the call.
    virtual void SendEvent(const EventId* id, const void* payload, uint32_t size) = 0;  // slot 4

protected:
    ~HostEventQueue() = default;
};

namespace ABI::Windows::Xbox::System {
struct IUser;
}
namespace ABI::Microsoft::Xbox::Services {
struct IXboxLiveContext;
}
using PlatformUser = ABI::Windows::Xbox::System::IUser;
using UserServicesContext = ABI::Microsoft::Xbox::Services::IXboxLiveContext;

class UserManager : public IHaldenInterface {
public:
    static constexpr InterfaceId Id = HaldenGuidFromString("D1B83D43-725C-5420-5B20-66B24DF0658B");
    virtual uint32_t GetUserCount() = 0;                                // slot 2
    virtual PlatformUser* GetUserAt(uint32_t index) = 0;                // one reference for the caller, or null
    virtual UserServicesContext* GetServicesContextAt(uint32_t index) = 0;  // one reference for the caller, or null
    virtual int32_t FindUserIndex(uint32_t userId) = 0;                 // negative when no user has the id

protected:
    ~UserManager() = default;
};

class IHaldenPluginLog : public IHaldenInterface {
public:
    static constexpr InterfaceId Id = HaldenGuidFromString("1F7F8B4C-2511-E8E3-81D6-E73A3B519A9A");
    virtual void WriteLine(const char16_t* tag, const char16_t* line) = 0;  // slot 2
    // slot 3: the C formatting rules, with UTF-16 text: %s and %ls read a char16_t string.
    virtual void LogFormatV(const char16_t* tag, const char16_t* location, const char16_t* format, va_list args) = 0;

protected:
    ~IHaldenPluginLog() = default;
};
