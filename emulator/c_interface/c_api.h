/* The emulator's C interface, for C and for other languages (C# P/Invoke): load a scenario, reset,
 * inject faults and script outcomes, raise the console's notifications, read the live counts; and
 * the test kit: the ledger of transactions, refunds, the clock, store screens held open until a
 * decision, the world saved as a scenario.
 * Texts are UTF-8. Functions that can fail answer 1 on success and 0 on failure, leaving a message
 * that velmora_emulator_last_error() answers on the same thread; each such call clears the message
 * first. A null pointer where a text is required is a failure, not a crash. Times are Unix
 * microseconds, UTC. Lists come as count-and-copy calls of plain structs whose texts lie in one
 * caller buffer (an offset and a length in bytes, no terminating NUL). */
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
/* Buys a catalog product for a signed-in user as a purchase made outside the game would (the
 * console's dashboard, another device): on a platform thread the product is granted, the ledger
 * records a Purchase and the purchase event is raised (a durable the user owns already: nothing;
 * a consumable's quantity 0: its offer's). 0 when no signed-in user has the id or the product is
 * not in the catalog. velmora_emulator_wait_idle() waits for it. */
VELMORA_EMULATOR_API int velmora_emulator_buy(uint32_t user_id, const char* product_id, uint32_t quantity);
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

/* ---- The ledger and refunds ---------------------------------------------------------------- */

enum VelmoraTransactionSource {
    VELMORA_TRANSACTION_PURCHASE = 0,             /* the purchase screen */
    VELMORA_TRANSACTION_REDEEM_CODE = 1,          /* the redeem-code screen */
    VELMORA_TRANSACTION_SUBSCRIPTION = 2,         /* the subscription screen */
    VELMORA_TRANSACTION_PRIVILEGE_RESOLUTION = 3, /* a privilege check that bought its resolution */
    VELMORA_TRANSACTION_CONSUMPTION = 4,          /* a consumable's consumption */
    VELMORA_TRANSACTION_REFUND = 5,               /* velmora_emulator_refund */
    VELMORA_TRANSACTION_RAISED = 6,               /* velmora_emulator_raise_purchase */
};
enum VelmoraTransactionOutcome {
    VELMORA_TRANSACTION_GRANTED = 0,  /* the product or the balance was granted */
    VELMORA_TRANSACTION_CONSUMED = 1, /* the balance went down */
    VELMORA_TRANSACTION_REFUNDED = 2, /* a refund took back the grant of refund_of */
    VELMORA_TRANSACTION_NOTIFIED = 3, /* the purchase event was raised, nothing granted */
    VELMORA_TRANSACTION_CANCELED = 4, /* the screen was cancelled with hresult */
    VELMORA_TRANSACTION_FAILED = 5,   /* the screen failed with hresult */
};
/* One ledger entry (64 bytes). */
typedef struct VelmoraTransaction {
    uint64_t id;        /* from 1 after each reset */
    int64_t time_us;    /* the emulator's clock when it was recorded */
    uint64_t refund_of; /* a refund: the entry it took back; otherwise 0 */
    uint32_t user_id;
    uint32_t quantity; /* granted, consumed or taken back; 1 for a durable */
    int32_t source;    /* enum VelmoraTransactionSource */
    int32_t outcome;   /* enum VelmoraTransactionOutcome */
    int32_t hresult;   /* a cancelled or failed screen's code; otherwise 0 */
    int32_t product_id_offset;
    int32_t product_id_length;
    int32_t transaction_id_offset; /* the receipt's, the consumption's or the refunded entry's */
    int32_t transaction_id_length;
    int32_t reserved; /* 0 */
} VelmoraTransaction;
/* How many entries the ledger keeps (at most the newest 10,000, oldest first). When `capacity`
 * holds them all and `texts_capacity` holds their texts, both are copied; otherwise nothing is
 * copied (call again with the sizes answered). `*texts_size` (when not null) receives the bytes
 * their texts take. A null `entries` or a capacity of 0 only counts. -1 on a failure (out of
 * memory). */
VELMORA_EMULATOR_API int32_t velmora_emulator_transactions(VelmoraTransaction* entries, int32_t capacity, char* texts,
                                                           int32_t texts_capacity, int32_t* texts_size);
/* How many older entries the ledger dropped since the last reset. */
VELMORA_EMULATOR_API uint64_t velmora_emulator_transactions_dropped(void);
/* Takes back what the entry granted (a durable leaves the inventory; a consumable's balance goes
 * down by the quantity granted, never below 0) and records the refund as an entry, whose id goes to
 * `*refund_id` when it is not null. 0, changing nothing, for an id the ledger does not hold, an entry
 * that granted nothing (a refund, a consumption, a raised purchase, a cancelled or failed screen),
 * one refunded already, or a durable the user no longer owns. */
VELMORA_EMULATOR_API int velmora_emulator_refund(uint64_t transaction_id, uint64_t* refund_id);

/* ---- The clock ---------------------------------------------------------------------------- */

/* The emulator's time now: real time until it is set, then fixed. */
VELMORA_EMULATOR_API int64_t velmora_emulator_clock_now_us(void);
/* 1 while the clock is fixed, 0 while it runs real time. */
VELMORA_EMULATOR_API int velmora_emulator_clock_is_fixed(void);
/* Fixes the clock at a time from 1601-01-01 to 9999-12-31. While the clock runs real time any such
 * time is taken; once fixed, 0 for an earlier time (the clock does not go back). */
VELMORA_EMULATOR_API int velmora_emulator_set_clock_us(int64_t unix_us);
/* Moves the clock forwards (fixing it first when it runs real time); 0 for a negative amount or one
 * past 9999-12-31. */
VELMORA_EMULATOR_API int velmora_emulator_advance_clock_us(int64_t us);
/* Back to real time (a reset does this too). */
VELMORA_EMULATOR_API void velmora_emulator_use_real_time(void);

/* ---- Store screens that wait for a decision -------------------------------------------------- */

enum VelmoraScreenKind {
    VELMORA_SCREEN_PURCHASE = 0,
    VELMORA_SCREEN_REDEEM_CODE = 1,
    VELMORA_SCREEN_SUBSCRIPTION = 2,
    VELMORA_SCREEN_DETAILS = 3,
    VELMORA_SCREEN_MARKETPLACE = 4,
};
enum VelmoraScreenDecision {
    VELMORA_DECIDE_PURCHASE = 0, /* the user goes through: the screen does what it does by itself */
    VELMORA_DECIDE_CANCEL = 1,   /* the user backs out: cancelled with hr as its error code */
    VELMORA_DECIDE_FAIL = 2,     /* the store fails: error with hr, a failure code */
};
/* A screen held open (32 bytes). */
typedef struct VelmoraOpenScreen {
    uint64_t id; /* from 1 after each reset */
    uint32_t user_id;
    int32_t kind; /* enum VelmoraScreenKind */
    int32_t product_id_offset;
    int32_t product_id_length;
    int32_t offer_offset; /* the signed offer or code as given (purchase, redeem code) */
    int32_t offer_length;
} VelmoraOpenScreen;
/* While holding (hold != 0), every store screen whose outcome is Complete (no script, or a scripted
 * Complete) stays open, its action started, until velmora_emulator_decide_screen; other scripted
 * outcomes happen as scripted. Turning it off leaves open screens open; a reset stops holding and
 * cancels them. */
VELMORA_EMULATOR_API void velmora_emulator_hold_screens(int hold);
VELMORA_EMULATOR_API int velmora_emulator_holding_screens(void);
/* The screens open now, oldest first, copied as velmora_emulator_transactions copies entries. */
VELMORA_EMULATOR_API int32_t velmora_emulator_open_screens(VelmoraOpenScreen* screens, int32_t capacity, char* texts,
                                                           int32_t texts_capacity, int32_t* texts_size);
/* Ends an open screen on a platform thread exactly as the scripted outcome of the same kind would
 * (the grant, the purchase event and the ledger entry, then the action's end). 0, changing nothing,
 * for a screen that is not open, an unknown decision, a Fail whose hr is not a failure code, or a
 * Purchase whose hr is not 0. */
VELMORA_EMULATOR_API int velmora_emulator_decide_screen(uint64_t screen_id, int decision, int32_t hr);

/* ---- The world saved ---------------------------------------------------------------------- */

/* Writes the emulator's current state as a scenario file that loads back into the same world
 * (docs/scenario.md). 0 when the file cannot be written (nothing is written then) or the state holds
 * what a scenario cannot. */
VELMORA_EMULATOR_API int velmora_emulator_save_world(const char* path);

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
