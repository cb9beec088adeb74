// The marketplace services (filled in with the catalog and inventory emulation).
#include "emulator/marketplace.h"

namespace velmora::emu {

HRESULT CreateInventoryService(uint32_t, IInventoryService** service) {
    *service = nullptr;
    return E_NOTIMPL;
}

HRESULT CreateCatalogService(uint32_t, ICatalogService** service) {
    *service = nullptr;
    return E_NOTIMPL;
}

}  // namespace velmora::emu
