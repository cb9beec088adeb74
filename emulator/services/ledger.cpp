// The ledger's entries behind one lock, emptied by Reset(), and refunds.
#include "emulator/services/ledger.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/clock.h"
#include "emulator/services/marketplace/marketplace.h"

namespace velmora::emu {
namespace {

struct Ledger {
    std::mutex mutex;
    std::deque<Transaction> entries;
    uint64_t nextId = 1;
    uint64_t dropped = 0;
};

Ledger& State() {
    static Ledger ledger;
    return ledger;
}

// Refunds one at a time: a refund checks the ledger, changes the inventory and records itself, and
// no second refund of the same entry may pass the check in between. Taken before the marketplace's
// lock and the ledger's, which a consumption takes in that order too.
std::mutex refundMutex;

const bool resetRegistered = [] {
    OnReset([] {
        Ledger& l = State();
        std::lock_guard lock(l.mutex);
        l.entries.clear();
        l.nextId = 1;
        l.dropped = 0;
    });
    return true;
}();

[[noreturn]] void Refuse(const std::string& problem) { throw std::invalid_argument(problem); }

std::string Named(const Transaction& t) {
    return "transaction " + std::to_string(t.id) + " (" + std::string(kTransactionSourceNames[size_t(t.source)]) +
           ", " + std::string(kTransactionOutcomeNames[size_t(t.outcome)]) + ")";
}

// The entry with this id, copied under the lock, and the id of the refund that took it back (0: none).
std::pair<Transaction, uint64_t> EntryToRefund(uint64_t entryId) {
    Ledger& l = State();
    std::lock_guard lock(l.mutex);
    auto it = std::lower_bound(l.entries.begin(), l.entries.end(), entryId,
                               [](const Transaction& t, uint64_t id) { return t.id < id; });
    if (it == l.entries.end() || it->id != entryId) {
        std::string held = l.entries.empty() ? "it holds no entry"
                                             : "it holds " + std::to_string(l.entries.front().id) + " to " +
                                                   std::to_string(l.entries.back().id);
        if (l.dropped > 0) held += ", the oldest " + std::to_string(l.dropped) + " were dropped";
        Refuse("no transaction " + std::to_string(entryId) + " in the ledger (" + held + ")");
    }
    const Transaction entry = *it;
    for (auto later = it; later != l.entries.end(); ++later)
        if (later->refundOf == entryId) return {entry, later->id};
    return {entry, 0};
}

}  // namespace

std::u16string ReceiptId(uint64_t entryId) {
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-0000-0000-%012llX", static_cast<unsigned long long>(entryId));
    return FromUtf8(text);
}

std::vector<Transaction> Transactions() {
    Ledger& l = State();
    std::lock_guard lock(l.mutex);
    return {l.entries.begin(), l.entries.end()};
}

uint64_t TransactionsDropped() {
    Ledger& l = State();
    std::lock_guard lock(l.mutex);
    return l.dropped;
}

Transaction RecordTransaction(Transaction entry, bool receipt) {
    entry.time = NowTicks();
    Ledger& l = State();
    std::lock_guard lock(l.mutex);
    entry.id = l.nextId++;
    if (receipt) entry.transactionId = ReceiptId(entry.id);
    if (l.entries.size() == kLedgerCapacity) {
        l.entries.pop_front();
        ++l.dropped;
    }
    l.entries.push_back(entry);
    return entry;
}

uint64_t Refund(uint64_t entryId) {
    std::lock_guard refunding(refundMutex);
    const auto [entry, refundedBy] = EntryToRefund(entryId);
    if (entry.outcome != TransactionOutcome::Granted)
        Refuse(Named(entry) + " granted nothing to take back; only a Granted transaction can be refunded");
    if (refundedBy != 0) Refuse(Named(entry) + " was refunded already, by transaction " + std::to_string(refundedBy));
    uint32_t taken = 0;
    if (RevokeProduct(entry.userId, entry.productId, entry.quantity, &taken) == E_NOT_FOUND)
        Refuse(Named(entry) + ": user " + std::to_string(entry.userId) + " no longer owns \"" +
               ToUtf8(entry.productId) + "\"");
    Transaction refund;
    refund.userId = entry.userId;
    refund.productId = entry.productId;
    refund.quantity = taken;
    refund.source = TransactionSource::Refund;
    refund.outcome = TransactionOutcome::Refunded;
    refund.transactionId = entry.transactionId;
    refund.refundOf = entry.id;
    return RecordTransaction(std::move(refund)).id;
}

void RestoreLedger(std::vector<Transaction> entries, uint64_t dropped) {
    if (entries.size() > kLedgerCapacity)
        Refuse(std::to_string(entries.size()) + " ledger entries; the ledger keeps at most " +
               std::to_string(kLedgerCapacity));
    for (size_t i = 0; i < entries.size(); ++i) {
        const Transaction& t = entries[i];
        if (t.id == 0 || (i > 0 && t.id <= entries[i - 1].id))
            Refuse("ledger entry " + std::to_string(i) + " has the id " + std::to_string(t.id) +
                   "; ids start at 1 and rise from entry to entry");
        if ((t.source == TransactionSource::Refund) != (t.refundOf != 0) || t.refundOf >= t.id)
            Refuse("ledger entry " + std::to_string(t.id) +
                   ": a Refund names the earlier entry it refunds in refundOf, and no other entry does");
    }
    Ledger& l = State();
    std::lock_guard lock(l.mutex);
    l.nextId = std::max(entries.empty() ? 0 : entries.back().id, dropped) + 1;
    l.entries.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    l.dropped = dropped;
}

}  // namespace velmora::emu
