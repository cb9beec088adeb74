// The inventory and catalog groups' managers. They hold no data: each is the target of its
// group's completion handlers, registered on the group's first use.
#pragma once

#include "core/event_managers.h"

namespace HaldenPlugin {

class InventoryServiceManager
    : public EventManager<InventoryServiceManager, ConsumeInventoryItemResultEvent, InventoryItemEvent,
                          InventoryItemsResultEvent> {
    friend EventManager;
    InventoryServiceManager() { RegisterHandlers(); }
};

class CatalogServiceManager
    : public EventManager<CatalogServiceManager, BrowseCatalogResultEvent, CatalogItemDetailsResultEvent> {
    friend EventManager;
    CatalogServiceManager() { RegisterHandlers(); }
};

template <>
struct ManagerOf<ConsumeInventoryItemResultEvent> : std::type_identity<InventoryServiceManager> {};
template <>
struct ManagerOf<InventoryItemEvent> : std::type_identity<InventoryServiceManager> {};
template <>
struct ManagerOf<InventoryItemsResultEvent> : std::type_identity<InventoryServiceManager> {};
template <>
struct ManagerOf<BrowseCatalogResultEvent> : std::type_identity<CatalogServiceManager> {};
template <>
struct ManagerOf<CatalogItemDetailsResultEvent> : std::type_identity<CatalogServiceManager> {};

}  // namespace HaldenPlugin
