// The emulated Xbox Live marketplace: inventory and catalog services of a user.
#pragma once

#include "emulator/runtime.h"
#include "platform/marketplace.h"

namespace velmora::emu {

using ::ABI::Microsoft::Xbox::Services::Marketplace::ICatalogService;
using ::ABI::Microsoft::Xbox::Services::Marketplace::IInventoryService;

// The services a user's context hands out, each with one reference for the caller.
EMU_API HRESULT CreateInventoryService(uint32_t userId, IInventoryService** service);
EMU_API HRESULT CreateCatalogService(uint32_t userId, ICatalogService** service);

}  // namespace velmora::emu
