// The ledger: every transaction the emulated store and marketplace made, as a test reads it back
// (what was bought, redeemed, subscribed, resolved, consumed, refunded or announced, and every
// purchase, redeem-code or subscription screen that was cancelled or failed), and refunds of what a
// transaction granted. Entries are numbered from 1 after each reset; the newest kLedgerCapacity are
// kept. docs/emulator-store.md describes the entries and the refunds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/runtime/objects.h"

namespace velmora::emu {

// What made a transaction. A receipt's Source attribute is the name of its transaction's source.
enum class TransactionSource {
    Purchase,             // the purchase screen
    RedeemCode,           // the redeem-code screen
    Subscription,         // the subscription screen
    PrivilegeResolution,  // a privilege check that bought the product resolving it
    Consumption,          // a consumable's consumption
    Refund,               // Refund()
    Raised,               // RaisePurchase: a purchase made outside the game
};
inline constexpr std::string_view kTransactionSourceNames[] = {
    "Purchase", "RedeemCode", "Subscription", "PrivilegeResolution", "Consumption", "Refund", "Raised",
};
static_assert(std::size(kTransactionSourceNames) == size_t(TransactionSource::Raised) + 1);

// How it ended.
enum class TransactionOutcome {
    Granted,   // the product entered the inventory, or the consumable's balance rose
    Consumed,  // the balance went down
    Refunded,  // a refund: the grant it names was taken back
    Notified,  // the purchase event was raised; nothing was granted
    Canceled,  // the screen was cancelled, with its error code in `hresult`
    Failed,    // the screen failed with `hresult`
};
inline constexpr std::string_view kTransactionOutcomeNames[] = {
    "Granted", "Consumed", "Refunded", "Notified", "Canceled", "Failed",
};
static_assert(std::size(kTransactionOutcomeNames) == size_t(TransactionOutcome::Failed) + 1);

struct Transaction {
    uint64_t id = 0;   // from 1 after each reset
    int64_t time = 0;  // the clock's time (platform ticks) when it was recorded
    uint32_t userId = 0;
    std::u16string productId;  // empty when a failed screen named no product (an offer nobody sells)
    uint32_t quantity = 0;     // granted, consumed or taken back; 1 for a durable
    TransactionSource source = TransactionSource::Purchase;
    TransactionOutcome outcome = TransactionOutcome::Granted;
    HRESULT hresult = S_OK;  // Canceled and Failed: the screen's error code
    // The receipt's transaction id (a purchase event's), the game's own for a consumption, the
    // refunded entry's for a refund; empty when there is none.
    std::u16string transactionId;
    uint64_t refundOf = 0;  // a refund: the id of the entry it took back

    bool operator==(const Transaction&) const = default;
};

// The most entries the ledger keeps; the oldest beyond it are dropped and counted.
inline constexpr size_t kLedgerCapacity = 10000;

// The entries kept, oldest first.
EMU_API std::vector<Transaction> Transactions();
// How many older entries were dropped since the last reset.
EMU_API uint64_t TransactionsDropped();
// Adds an entry, with the next id and the clock's time, and answers it as recorded. With `receipt`,
// its transaction id is the receipt's: the id as a GUID-formatted counter (ReceiptId).
EMU_API Transaction RecordTransaction(Transaction entry, bool receipt = false);
// "00000000-0000-0000-0000-00000000002A" for entry 42: the transaction id of its receipt.
EMU_API std::u16string ReceiptId(uint64_t entryId);

// Takes back what an entry granted and records the refund as an entry of its own, whose id it
// answers: a durable leaves the user's inventory; a consumable's balance goes down by the quantity
// granted, never below 0. Throws std::invalid_argument naming the problem, and changes nothing, for
// an id the ledger does not hold, an entry that granted nothing (a refund, a consumption, a raised
// purchase, a cancelled or failed screen), one refunded already, or a durable the user no longer owns.
EMU_API uint64_t Refund(uint64_t entryId);

// Replaces the ledger with saved entries (a scenario's "ledger"): ids rising from 1 or more, each
// refund naming an earlier entry; the next entry follows the last. Throws std::invalid_argument, and
// changes nothing, for entries out of order or more than kLedgerCapacity of them.
EMU_API void RestoreLedger(std::vector<Transaction> entries, uint64_t dropped);

}  // namespace velmora::emu
