// EMU_API marks what the emulator's library exports: its C++ interface, which the host, tools and
// tests use, and on Linux the runtime functions the plugin links against. Plain, so the Windows
// parts of the emulator can include it beside the system's own headers.
#pragma once

#if defined(_WIN32)
#define EMU_API  // the emulator DLL exports every symbol (see emulator/CMakeLists.txt)
#else
#define EMU_API __attribute__((visibility("default")))
#endif

// EMU_STATIC_TLS puts a thread-local variable of the library in the thread's static block, where
// the system has one (ELF): it is then read with one instruction, not looked up through the
// dynamic linker at every use. Only for a few small variables read on every call: a process that
// loads the library later (dlopen, as .NET does) takes them from the little room the C library
// keeps for such libraries.
#if defined(__ELF__)
#define EMU_STATIC_TLS __attribute__((tls_model("initial-exec")))
#else
#define EMU_STATIC_TLS
#endif
