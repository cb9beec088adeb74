// The control page: an HTTP server inside the emulator, on the loopback address only, serving a
// page and a JSON interface through which a person (or a test) sees and steers the emulated store
// while a game runs. Off unless the process asks for it: StartControlPage, the C interface's
// velmora_emulator_start_control_page, or the environment variable VELMORA_CONTROL_PORT when the
// emulator loads. docs/control-page.md describes the routes and the page.
#pragma once

#include <string>

#include "emulator/runtime/export.h"

namespace velmora::emu {

// Naming a port (0: one the system picks) starts the control page when the emulator loads.
inline constexpr char kControlPortVariable[] = "VELMORA_CONTROL_PORT";

// Starts the control page on 127.0.0.1:port (0: a free port the system picks) with a new random
// access token, prints its address once on stderr and answers it:
// "http://127.0.0.1:8080/?token=<32 hex digits>". Throws std::invalid_argument for a port outside
// 0-65535 and std::runtime_error when the page runs already or the port cannot be bound; nothing
// changes then. A reset keeps the page running; the process's end stops it.
EMU_API std::string StartControlPage(int port);
// The address of the running page, token included, or "" when none runs.
EMU_API std::string ControlPageAddress();
// Stops the page: no new connection is accepted, the requests in progress finish, its threads are
// joined. Nothing happens when none runs. Must not be called from a request of the page itself.
EMU_API void StopControlPage();

}  // namespace velmora::emu
