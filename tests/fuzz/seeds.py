#!/usr/bin/env python3
"""Writes the handcrafted seed inputs of tests/fuzz/corpus/ for the fuzz harness.

Each seed is a walk a game makes (or gets wrong), spelled with the harness's call names; the
call numbers come from the built harness itself (VELMORA_FUZZ_LIST_CALLS), so the seeds follow
the table when exports are added. Argument bytes follow plugin_fuzzer.cpp:
  user: 3 = the signed-in user, 0 = the other user, 1 = id 0, 2 + 4 bytes = any id
  handle: a multiple of 8 = null, else the (byte mod n)-th held handle of the kind
  index (and any other 32-bit number): 0 -> 0, 2 -> 1, 6 -> 5, 9 -> 0xFFFFFFFF, 10 -> privilege 247
  text: 0 null, 1 empty, 2 lone high surrogate, 3 lone low surrogate, 4 reversed pair,
        5 64K units, 6 + n + 2n bytes = raw UTF-16, 7 + k = the k-th known text
  callback: 0 = null, else the recording callback
Usage: seeds.py HARNESS OUTPUT_DIRECTORY
"""
import os
import subprocess
import sys

ME = 3
NULL, FIRST, SECOND = 0, 1, 2
TEXT_NULL, TEXT_EMPTY, TEXT_HIGH, TEXT_LOW, TEXT_REVERSED, TEXT_LONG = 0, 1, 2, 3, 4, 5
# The known texts, in the harness's order (KnownTexts in plugin_fuzzer.cpp).
GAME, CONTENT, GEMS, OST, TREASURE_OFFER, GEMS_OFFER, CODE, TRANSACTION, PASS, TITLE = range(10)
PARENT = GAME  # the game is the catalog's parent


def known(k):
    return [7, k]


def seeds(call):
    """name -> list of byte sequences; call(name, *args) spells one call."""
    c = call
    wait = c("wait and pump")
    return {
        "inventory-walk": c("InventoryService_GetInventoryItemsAsync", ME, 14, FIRST) + wait
        + c("InventoryItemsResult_Items", FIRST) + c("InventoryItemsResult_Items_Length", FIRST)
        + c("InventoryItemsResult_Items_GetAt", FIRST, 0) + c("InventoryItemsResult_Items_GetAt", FIRST, 2)
        + c("InventoryItemsResult_Items_GetAt", FIRST, 6) + c("InventoryItem_ProductId", FIRST)
        + c("InventoryItem_Url", FIRST) + c("InventoryItem_ConsumableUrl", FIRST)
        + c("InventoryItem_EndDate", SECOND) + c("InventoryItem_ContainerIds", FIRST)
        + c("InventoryItem_ContainerIds_GetAt", FIRST, 2) + c("InventoryItemsResult_Dispose", FIRST)
        + c("InventoryItem_ProductId", FIRST) + c("InventoryItem_Dispose", FIRST)
        + c("InventoryItem_TitleId", FIRST),
        "consume": c("InventoryService_GetInventoryItemsAsync", ME, 5, FIRST) + wait
        + c("InventoryItemsResult_Items", FIRST) + c("InventoryItemsResult_Items_GetAt", FIRST, 0)
        + c("InventoryService_ConsumeInventoryItemAsync", ME, FIRST, 2, *known(TRANSACTION), FIRST)
        + c("InventoryService_ConsumeInventoryItemAsync", ME, FIRST, 0, TEXT_NULL, FIRST)
        + c("InventoryService_GetInventoryItemAsync", ME, FIRST, FIRST) + wait
        + c("ConsumeInventoryItemResult_TransactionId", FIRST)
        + c("ConsumeInventoryItemResult_ConsumableBalance", FIRST)
        + c("ConsumeInventoryItemResult_ConsumableUrl", FIRST),
        "catalog-browse": c("CatalogService_BrowseCatalogAsync", ME, *known(PARENT), 1, 14, 0, 0, 0, FIRST) + wait
        + c("BrowseCatalogResult_TotalCount", FIRST) + c("BrowseCatalogResult_Items_GetAt", FIRST, 0)
        + c("BrowseCatalogResult_Items_GetAt", FIRST, 9) + c("CatalogItem_Name", FIRST)
        + c("CatalogItem_Images", FIRST) + c("CatalogItem_Images_GetAt", FIRST, 2)
        + c("CatalogItemImage_ResizeUrl", FIRST) + c("CatalogItemImage_Purposes", FIRST)
        + c("CatalogItemImage_Purposes_GetAt", FIRST, 0) + c("CatalogItem_AvailabilityContentIds", FIRST)
        + c("CatalogItem_AvailabilityContentIds_GetAt", FIRST, 0) + c("CatalogItem_ReleaseDate", FIRST),
        "catalog-details": c("CatalogService_GetCatalogItemDetailsAsync", ME, 3, *known(GAME), TEXT_HIGH,
                             *known(GEMS), FIRST) + wait
        + c("CatalogItemDetailsList_Length", FIRST) + c("CatalogItemDetailsList_GetAt", FIRST, 2)
        + c("CatalogItemDetails_Description", FIRST) + c("CatalogItemDetails_Availabilities", FIRST)
        + c("CatalogItemDetails_Availabilities_GetAt", FIRST, 0) + c("CatalogItemAvailability_Price", FIRST)
        + c("CatalogItemAvailability_DisplayPrice", FIRST)
        + c("CatalogItemAvailability_AcceptablePaymentInstrumentTypes", FIRST)
        + c("CatalogItemAvailability_AcceptablePaymentInstrumentTypes_GetAt", FIRST, 2)
        + c("CatalogItemDetailsList_Dispose", FIRST) + c("CatalogItemDetails_Name", FIRST),
        "store": c("Store_RegisterForPurchaseEvents", FIRST)
        + c("Store_ShowPurchaseAsync", ME, *known(GEMS_OFFER), FIRST)
        + c("Store_ShowRedeemCodeAsync", ME, *known(CODE), FIRST)
        + c("Store_ShowSubscriptionAsync", ME, *known(PASS), 10, FIRST)
        + c("Store_ShowPurchaseAsync", ME, *known(TREASURE_OFFER), FIRST)
        + c("Store_CheckPrivilegeAsync", ME, 10, 2, TEXT_NULL, FIRST)
        + c("Store_CheckPrivilegesAsync", ME, 2, 1, 1, 2, TEXT_EMPTY, FIRST)
        + c("emu::RaisePurchase", *known(GAME), ME, 1) + wait
        + c("ProductPurchasedEventArgs_Receipt", FIRST) + c("Store_UnRegisterForPurchaseEvents")
        + c("emu::RaisePurchase", *known(GEMS), ME, 2) + wait,
        "dlc": c("DLC_RegisterForDLCCompletedEvent", FIRST)
        + c("DLC_RegisterForDLCCompletedWithDetailsEvent", FIRST) + c("DLC_FindPackages", 0)
        + c("DLC_IDownloadableContentPackage_GetAt", FIRST, 0) + c("IDownloadableContentPackage_Mount", FIRST)
        + c("IDownloadableContentPackage_MountPath", FIRST) + c("emu::StartInstallation", 0, 1) + wait
        + c("IDownloadableContentPackageInstallCompletedEventArgs_ContentId", FIRST)
        + c("IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName", FIRST)
        + c("IDownloadableContentPackage_Mount", FIRST) + c("IDownloadableContentPackage_Unmount", FIRST)
        + c("DLC_IDownloadableContentPackage_GetAt", FIRST, 9),
        "bad-input": c("InventoryItem_ProductId", NULL) + c("CatalogItemDetailsList_GetAt", NULL, 9)
        + c("CatalogService_BrowseCatalogAsync", 2, 0, 0, 0, 77, TEXT_LONG, 1, 14, 0, 0, 0, FIRST)
        + c("CatalogService_GetCatalogItemDetailsAsync", ME, 15, 4, FIRST)
        + c("CatalogService_GetCatalogItemDetailsAsync", ME, 226, 0, 0, 0, 0, 0, FIRST)
        + c("Store_ShowDetailsAsync", ME, TEXT_LOW, FIRST) + c("Store_ShowMarketplaceAsync", ME, 0, TEXT_REVERSED, 9, 0)
        + c("emu::InjectFault", 10, 0, 1) + c("InventoryService_GetInventoryItemsAsync", ME, 14, FIRST) + wait
        + c("InventoryItemsResult_Items", FIRST) + c("InventoryItemsResult_Items_GetAt", FIRST, 0)
        + c("emu::ScriptOutcome", 6, 2, 3, 1, 10) + c("CatalogService_BrowseCatalogAsync", ME, *known(PARENT), 1, 14, 0,
                                                    0, 0, FIRST)
        + c("emu::ScriptOutcome", 8, 6, 0, 0) + c("Store_ShowDetailsAsync", ME, *known(GAME), FIRST) + wait,
    }


def main():
    harness, out = sys.argv[1], sys.argv[2]
    listing = subprocess.run([harness, "-runs=0"], env=dict(os.environ, VELMORA_FUZZ_LIST_CALLS="1"),
                             capture_output=True, text=True).stdout
    numbers = {}
    for line in listing.splitlines():
        parts = line.split(None, 1)
        if len(parts) == 2 and parts[0].isdigit():
            numbers[parts[1]] = int(parts[0])

    def call(name, *args):
        return [numbers[name], *args]

    os.makedirs(out, exist_ok=True)
    for name, data in seeds(call).items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes(data))


if __name__ == "__main__":
    main()
