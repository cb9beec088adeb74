// Every event the plugin defines, sends or handles: ids, payload layouts and the managers that
// handle them. An event type is its payload structure with its id attached.
#pragma once

#include <cstddef>

#include "platform/host_interfaces.h"
#include "velmora/velmora.h"

namespace HaldenPlugin {

// Object layout: the payload of object-result events, 32 bytes.
struct CompletionRecord {
    ManagedObjectCallback callback;
    void* userData;
    ObjectHandle result;  // carries one reference for managed code; null on failure and cancellation
    int32_t hr;
};
static_assert(sizeof(CompletionRecord) == 32);
static_assert(offsetof(CompletionRecord, userData) == 8 && offsetof(CompletionRecord, result) == 16 &&
              offsetof(CompletionRecord, hr) == 24);

// Value layout: the payload of 32-bit-result and action-status events, 24 bytes.
struct ValueCompletionRecord {
    ManagedValueCallback callback;
    void* userData;
    uint32_t value;
    int32_t hr;
};
static_assert(sizeof(ValueCompletionRecord) == 24);
static_assert(offsetof(ValueCompletionRecord, value) == 16 && offsetof(ValueCompletionRecord, hr) == 20);

// A payload of one meaningless byte.
struct OneBytePayload {
    uint8_t unused;
};
static_assert(sizeof(OneBytePayload) == 1);

// The payload of an interface delivery begins with the delivered pointer.
struct InterfaceDelivery {
    void* instance;
};

#define VELMORA_EVENT(Name, Layout, Guid)                                   \
    struct Name : Layout {                                                  \
        static constexpr EventId Id = HaldenGuidFromString(Guid);           \
    };

VELMORA_EVENT(ConsumeInventoryItemResultEvent, CompletionRecord, "955B6149-B225-B6FF-79FC-B7C741DFA78C")
VELMORA_EVENT(InventoryItemEvent, CompletionRecord, "A2B4CA4D-2E2F-AFC1-0F92-0C86124C5FAD")
VELMORA_EVENT(InventoryItemsResultEvent, CompletionRecord, "6A154C47-5274-B767-182A-032F8C168CA1")
VELMORA_EVENT(BrowseCatalogResultEvent, CompletionRecord, "16FD8B41-1C51-F2F4-E5D4-FD4C240B0982")
VELMORA_EVENT(CatalogItemDetailsResultEvent, CompletionRecord, "2D8CDF41-3864-A0A6-4B8C-9EE90EF29D95")
VELMORA_EVENT(PrivilegeCheckResultEvent, ValueCompletionRecord, "EA1E9541-5468-4B65-8800-926E2F4086AD")
VELMORA_EVENT(ShowDetailsAsyncEvent, ValueCompletionRecord, "346B6944-8172-F11E-0CB4-3B50B74770AE")
VELMORA_EVENT(ShowMarketplaceAsyncEvent, ValueCompletionRecord, "F8D1F34C-D38E-275F-F1CC-63FFF72A219B")
VELMORA_EVENT(ShowPurchaseAsyncEvent, ValueCompletionRecord, "AF852E4A-D99E-181D-D7FB-06A99E86E780")
VELMORA_EVENT(ShowRedeemCodeAsyncEvent, ValueCompletionRecord, "C045FA4F-6C12-E2AF-5675-A95D50E296A5")
VELMORA_EVENT(ShowSubscriptionAsyncEvent, ValueCompletionRecord, "01943140-F0E0-1E0D-52D4-4C1525B7209F")
VELMORA_EVENT(ProductPurchasedEventArgsEvent, CompletionRecord, "9D1AEC45-8649-1D3A-5212-660F6B492EB2")
VELMORA_EVENT(DownloadableContentPackageInstallCompletedEvent, OneBytePayload, "9FBEEB4E-949D-359A-F0CB-B850E7FDEA9A")
VELMORA_EVENT(IDownloadableContentPackageInstallCompletedEventArgsEvent, CompletionRecord,
              "EF919C4D-12EF-CC94-C3D0-06DED1BB5A98")
VELMORA_EVENT(OnUserManagerRequested, InterfaceDelivery, "422C2042-D4CD-CBA0-523E-AF56E9092D8A")
VELMORA_EVENT(OnIHaldenPluginLogRequested, InterfaceDelivery, "8DE45141-EECB-A716-55DF-C6C3D284DAA4")
VELMORA_EVENT(FirstStartupRequest, OneBytePayload, "FF0BCB4A-2127-E5C5-07C9-275D6CCE40B6")
VELMORA_EVENT(SecondStartupRequest, OneBytePayload, "C0929D44-1BD7-D700-7BE3-65C689E39BA8")
#undef VELMORA_EVENT

static_assert(ConsumeInventoryItemResultEvent::Id == EventId{0xb6ffb225955b6149, 0x8ca7df41c7b7fc79});
static_assert(DownloadableContentPackageInstallCompletedEvent::Id == EventId{0x359a949d9fbeeb4e, 0x9aeafde750b8cbf0});
static_assert(SecondStartupRequest::Id == EventId{0xd7001bd7c0929d44, 0xa89be389c665e37b});

}  // namespace HaldenPlugin
