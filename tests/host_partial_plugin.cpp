// A library that exports only four of the plugin's names, for the loader's missing-export report.
#include "velmora/velmora.h"

extern "C" {
VELMORA_API void HaldenPluginLoad(struct HostInterfaces*) {}
VELMORA_API void HaldenPluginUnload(void) {}
VELMORA_API int32_t GetPluginVersion(void) { return 1; }
VELMORA_API ObjectHandle DLC_FindPackages(int32_t) { return nullptr; }
}
