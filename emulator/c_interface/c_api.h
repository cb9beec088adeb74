/* The emulator's C interface, for C and for other languages (C# P/Invoke): load a scenario, reset,
 * inject faults and script outcomes, raise the console's notifications, read the live counts.
 * Texts are UTF-8. Functions that can fail answer 1 on success and 0 on failure, leaving a message
 * that velmora_emulator_last_error() answers on the same thread; each such call clears the message
 * first. A null pointer where a text is required is a failure, not a crash. */
#ifndef VELMORA_EMULATOR_C_API_H
#define VELMORA_EMULATOR_C_API_H

#include <stdint.h>

#if defined(_WIN32)
#define VELMORA_EMULATOR_API /* the emulator DLL exports every symbol */
#else
#define VELMORA_EMULATOR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Resets the emulator and applies the scenario file (relative package folders start at the file's
 * directory). On failure the message names the file, the JSON path and what was expected; a file
 * that does not parse leaves the emulator as it was. */
VELMORA_EMULATOR_API int velmora_emulator_load_scenario_file(const char* path);
/* The same for scenario text; `name` stands for the file in messages (null: "<text>"), relative
 * package folders start at the current directory. */
VELMORA_EMULATOR_API int velmora_emulator_load_scenario_json(const char* json, const char* name);
/* The same for the built-in scenario (scenarios/default.json as the emulator was built). */
VELMORA_EMULATOR_API int velmora_emulator_load_default_scenario(void);
/* Whether resets (and scenario loads, which reset first) keep the delegates subscribed to the
 * platform's events. A process that loads the plugin once for its life, as a managed game or test
 * suite does, is subscribed once and needs this on; it starts off. */
VELMORA_EMULATOR_API void velmora_emulator_set_reset_keeps_subscriptions(int keep);
/* Resets the emulator to empty: no users, catalog, packages, faults, scripts or subscriptions' calls. */
VELMORA_EMULATOR_API void velmora_emulator_reset(void);

/* Makes the named platform call ("IInventoryItem.get_ProductId") answer hr for the next `times`
 * calls (every call when times < 0). 0 for an empty name, hr 0 (S_OK), times 0, or a call the
 * emulator never makes, whose message names the closest known calls:
 * unknown call "IInventoryService.GetInventoryItemAsyn"; did you mean
 * "IInventoryService.GetInventoryItemAsync" or "IInventoryService.GetInventoryItemsAsync"? */
VELMORA_EMULATOR_API int velmora_emulator_inject_fault(const char* call, int32_t hr, int32_t times);
VELMORA_EMULATOR_API void velmora_emulator_clear_faults(void);

/* For the completing kinds (COMPLETE, COMPLETE_SYNCHRONOUSLY, NULL_RESULT) a success code in hr
 * (1, S_FALSE) is what the operation's result read answers with its result. */
enum VelmoraEmulatorOutcome {
    VELMORA_OUTCOME_COMPLETE = 0,               /* the call's work runs on a platform thread after the delay */
    VELMORA_OUTCOME_COMPLETE_SYNCHRONOUSLY = 1, /* finished before the operation is handed out */
    VELMORA_OUTCOME_FAIL = 2,                   /* the operation fails with hr */
    VELMORA_OUTCOME_CANCEL = 3,                 /* the operation is cancelled (an action reports hr) */
    VELMORA_OUTCOME_NULL_RESULT = 4,            /* completes successfully with a null result */
    VELMORA_OUTCOME_FAIL_START = 5,             /* the starting call answers hr; no operation */
    VELMORA_OUTCOME_NULL_OPERATION = 6,         /* the starting call hands out no operation */
};
/* Scripts how the next `times` starts of the named call ("IInventoryService.GetInventoryItemAsync")
 * end; delay_us < 0: the default delay. 0 for a call that is unknown or starts no asynchronous
 * operation (the message names the closest calls that do), an unknown outcome kind (the message
 * names the kinds), a non-positive times or a delay over one hour. */
VELMORA_EMULATOR_API int velmora_emulator_script_outcome(const char* call, int kind, int32_t hr, int64_t delay_us,
                                                         int32_t times);
VELMORA_EMULATOR_API void velmora_emulator_clear_scripts(void);
/* The delay before every operation completes that no script delays otherwise; starts at 0 (and
 * again at every reset). 0 for a negative delay or one over one hour. */
VELMORA_EMULATOR_API int velmora_emulator_set_default_delay(int64_t delay_us);

/* Raises the purchase event for a signed-in user, as a purchase outside the game would (nothing is
 * granted). 0 when no signed-in user has the id. */
VELMORA_EMULATOR_API int velmora_emulator_raise_purchase(uint32_t user_id, const char* product_id, uint32_t quantity);
/* Installs a package as the console's installer does, on a platform thread, then raises the two
 * install-completed notifications. `package_json` is one package as a scenario lists it (a relative
 * folder starts at the current directory; files go to a temporary folder removed at the next
 * reset); a message about it names "<package>" and the JSON path inside the text. operation is the
 * platform's install operation type, passed on as given. velmora_emulator_wait_idle() waits for
 * the installation. */
VELMORA_EMULATOR_API int velmora_emulator_complete_installation(const char* package_json, int32_t operation);
/* Waits until no emulated work (operation, notification, installation) is pending. */
VELMORA_EMULATOR_API void velmora_emulator_wait_idle(void);

/* How many users are signed in now; the first `capacity` of their ids, in the order they signed
 * in, are copied to `ids`. A null `ids` or a capacity of 0 only counts. */
VELMORA_EMULATOR_API int32_t velmora_emulator_signed_in_users(uint32_t* ids, int32_t capacity);

/* Emulator objects and platform strings alive now. */
VELMORA_EMULATOR_API int64_t velmora_emulator_live_objects(void);
VELMORA_EMULATOR_API int64_t velmora_emulator_live_strings(void);

/* The control page (docs/control-page.md): an HTTP server on 127.0.0.1 with a page and a JSON
 * interface to see and steer the emulator while a game runs; every request needs the random access
 * token made at the start. Starts on `port` (0: a free port the system picks) and prints the page's
 * address, token included, once on stderr. 0 for a port outside 0-65535, a page that runs already
 * or a port that cannot be bound. A reset keeps the page running; the process's end stops it. The
 * environment variable VELMORA_CONTROL_PORT starts it when the emulator loads. */
VELMORA_EMULATOR_API int velmora_emulator_start_control_page(int32_t port);
/* Copies the running page's address ("http://127.0.0.1:8080/?token=...", or "" when none runs) to
 * `buffer` with its terminating zero when it fits in `capacity` bytes, and answers its length
 * without the zero; a null buffer or a capacity of 0 only measures. */
VELMORA_EMULATOR_API int32_t velmora_emulator_control_page_address(char* buffer, int32_t capacity);
/* Stops the page: no new connection, the requests in progress finish. Nothing when none runs. */
VELMORA_EMULATOR_API void velmora_emulator_stop_control_page(void);

/* The last failure's message on this thread, or "" when there was none; valid until the next call
 * on this thread. A message longer than 2047 bytes is cut at a character boundary and ends with
 * " [...]". */
VELMORA_EMULATOR_API const char* velmora_emulator_last_error(void);

#ifdef __cplusplus
}
#endif

#endif
