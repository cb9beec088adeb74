// EMU_API marks what the emulator's library exports: its C++ interface, which the host, tools and
// tests use, and on Linux the runtime functions the plugin links against. Plain, so the Windows
// parts of the emulator can include it beside the system's own headers.
#pragma once

#if defined(_WIN32)
#define EMU_API  // the emulator DLL exports every symbol (see emulator/CMakeLists.txt)
#else
#define EMU_API __attribute__((visibility("default")))
#endif
