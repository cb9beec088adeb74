/* The reference host's C interface, for C and for other languages (C# P/Invoke): create a host,
 * load the plugin, pump its events, read its log, resolve its exports.
 *
 * One host may exist at a time. Functions that can fail answer 0 / null and leave a message that
 * velmora_host_last_error() answers on the same thread. */
#ifndef VELMORA_HOST_C_API_H
#define VELMORA_HOST_C_API_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VELMORA_HOST_API /* the host DLL exports every symbol */
#else
#define VELMORA_HOST_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VelmoraHost VelmoraHost;

enum VelmoraHostDelivery {
    VELMORA_HOST_DEFERRED = 0,    /* events wait for velmora_host_pump / velmora_host_wait_and_pump */
    VELMORA_HOST_SYNCHRONOUS = 1, /* events are delivered inside the plugin's SendEvent */
};

/* A new host, or null (another host is alive, or an unknown delivery mode). */
VELMORA_HOST_API VelmoraHost* velmora_host_create(int delivery);
/* Switches how the host delivers the events sent from now on (a host kept for the life of the
 * process serves one test deferred, the next synchronous). Answers 1, or 0 for a null host or an
 * unknown mode. */
VELMORA_HOST_API int velmora_host_set_delivery(VelmoraHost* host, int delivery);
/* Unloads the plugin and destroys the host. Ignores null. */
VELMORA_HOST_API void velmora_host_destroy(VelmoraHost* host);

/* The plugin the host loads by default: $VELMORA_PLUGIN, or the one built next to the host. The
 * text stays valid for the life of the process. */
VELMORA_HOST_API const char* velmora_host_default_plugin_path(void);
/* Loads the plugin (null path: the default one) and calls its HaldenPluginLoad. With fresh_copy
 * non-zero, a private copy of the library is loaded. Answers 1 on success, 0 on failure. */
VELMORA_HOST_API int velmora_host_load(VelmoraHost* host, const char* path, int fresh_copy);
/* Unloads the plugin; answers 0 when none was loaded. */
VELMORA_HOST_API int velmora_host_unload(VelmoraHost* host);

/* Delivers the events queued now; answers how many. */
VELMORA_HOST_API size_t velmora_host_pump(VelmoraHost* host);
/* Waits up to timeout_ms for an event, then pumps. Answers 1 when events were delivered. */
VELMORA_HOST_API int velmora_host_wait_and_pump(VelmoraHost* host, uint32_t timeout_ms);

/* The number of lines the plugin logged. */
VELMORA_HOST_API size_t velmora_host_log_line_count(VelmoraHost* host);
/* Copies the text (UTF-8) of log line `index` into buffer, NUL-terminated and truncated to
 * capacity; answers the full length in bytes without the NUL, or (size_t)-1 past the last line.
 * Call with a null buffer to learn the size. */
VELMORA_HOST_API size_t velmora_host_log_line(VelmoraHost* host, size_t index, char* buffer, size_t capacity);
/* The same for the line's tag. */
VELMORA_HOST_API size_t velmora_host_log_tag(VelmoraHost* host, size_t index, char* buffer, size_t capacity);

/* The address of a plugin export (or any symbol of the plugin) by name, or null. */
VELMORA_HOST_API void* velmora_host_resolve(VelmoraHost* host, const char* name);

/* The last failure's message on this thread, or "" when there was none; valid until the next call
 * on this thread. A message longer than 2047 bytes is cut at a character boundary and ends with
 * " [...]". */
VELMORA_HOST_API const char* velmora_host_last_error(void);

#ifdef __cplusplus
}
#endif

#endif
