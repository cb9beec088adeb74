// The emulator's C interface over its C++ one. Every function catches what the C++ side throws and
// turns it into a 0 answer and a message, because an exception must never unwind into C or managed
// frames.
#include "emulator/c_interface/c_api.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>

#include <nlohmann/json.hpp>

#include "c_interfaces/last_error.h"
#include "emulator/control_page/control_page.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/live_counts.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/scenarios/formats.h"
#include "emulator/scenarios/scenario.h"
#include "emulator/services/clock.h"
#include "emulator/services/ledger.h"
#include "emulator/services/packages/packages.h"
#include "emulator/services/store/store.h"
#include "emulator/services/users.h"

namespace {

namespace emu = velmora::emu;
using emu::scenario_detail::FormatHresult;

constinit thread_local velmora::c_interfaces::LastError lastError;

// The same bound the scenario format puts on a delay, so a caller cannot push a completion time past
// what the worker pool's clock can hold.
constexpr int64_t kMaxDelayUs = int64_t{3600} * 1000 * 1000;

// What a failure the C caller sees: the function answers 0 and the message waits on this thread.
struct Failure {
    std::string message;
};

[[noreturn]] void Fail(std::string message) { throw Failure{"velmora emulator: " + std::move(message)}; }

void Check(emu::HRESULT hr, const std::string& what) {
    if (emu::Failed(hr)) Fail(what + " failed with " + FormatHresult(hr));
}

const char* Required(const char* text, const char* what) {
    if (text == nullptr) Fail(std::string(what) + " is null");
    return text;
}

void Remember(std::string_view prefix, std::string_view message) noexcept {
    lastError.Set(prefix);
    lastError.Append(message);
}

// Runs the body, answering 1, or 0 with the failure left in lastError.
template <class Body>
int Guarded(Body body) noexcept {
    lastError.Clear();
    try {
        body();
        return 1;
    } catch (const Failure& f) {
        Remember("", f.message);
    } catch (const emu::ScenarioError& e) {
        Remember("", e.what());  // already "<file>: <path>: <problem>"
    } catch (const std::exception& e) {
        Remember("velmora emulator: ", e.what());
    } catch (...) {
        Remember("velmora emulator: ", "unknown failure");
    }
    return 0;
}

// For the functions without an answer: a failure there has nobody to tell, but must not unwind.
template <class Body>
void Quiet(Body body) noexcept {
    static_cast<void>(Guarded(body));
}

// The C kinds are the C++ kinds' values, so a kind passes as it is and ScriptOutcome judges it.
static_assert(int(emu::Outcome::Kind::Complete) == VELMORA_OUTCOME_COMPLETE);
static_assert(int(emu::Outcome::Kind::CompleteSynchronously) == VELMORA_OUTCOME_COMPLETE_SYNCHRONOUSLY);
static_assert(int(emu::Outcome::Kind::Fail) == VELMORA_OUTCOME_FAIL);
static_assert(int(emu::Outcome::Kind::Cancel) == VELMORA_OUTCOME_CANCEL);
static_assert(int(emu::Outcome::Kind::NullResult) == VELMORA_OUTCOME_NULL_RESULT);
static_assert(int(emu::Outcome::Kind::FailStart) == VELMORA_OUTCOME_FAIL_START);
static_assert(int(emu::Outcome::Kind::NullOperation) == VELMORA_OUTCOME_NULL_OPERATION);

std::chrono::microseconds CheckedDelay(int64_t delayUs) {
    if (delayUs > kMaxDelayUs) Fail("a delay of " + std::to_string(delayUs) + " us is more than one hour");
    return std::chrono::microseconds(delayUs);
}

// One package as a scenario lists it. It is read as the only element of a scenario's "packages", so
// it passes exactly the checks a scenario file's packages do; messages name paths inside the text.
emu::ScenarioPackage ParsePackage(std::string_view text) {
    static const std::string name = "<package>";
    const std::filesystem::path here = std::filesystem::current_path();
    if (!nlohmann::json::accept(text)) {
        // Read alone, the text gets the parser's message with its own line and column.
        emu::ParseScenario(text, name, here);
        Fail(name + ": $: not one JSON value");
    }
    static const std::string prefix = "$.packages[0]";
    try {
        emu::Scenario s = emu::ParseScenario("{\"packages\":[" + std::string(text) + "]}", name, here);
        return std::move(s.packages.at(0));
    } catch (const emu::ScenarioError& e) {
        std::string path = e.path;
        if (path.starts_with(prefix)) path = "$" + path.substr(prefix.size());
        throw emu::ScenarioError(name, path, e.problem);
    }
}

// The C enumerations are the C++ ones' values, so they pass as they are.
static_assert(int(emu::TransactionSource::Raised) == VELMORA_TRANSACTION_RAISED);
static_assert(int(emu::TransactionOutcome::Failed) == VELMORA_TRANSACTION_FAILED);
static_assert(int(emu::ScreenKind::Marketplace) == VELMORA_SCREEN_MARKETPLACE);
static_assert(int(emu::ScreenDecision::Fail) == VELMORA_DECIDE_FAIL);
static_assert(sizeof(VelmoraTransaction) == 64 && sizeof(VelmoraOpenScreen) == 32, "the C# structs' sizes");

// Unix microseconds and platform ticks (100 ns since 1601).
int64_t UnixMicroseconds(int64_t ticks) {
    const int64_t since = ticks - emu::kUnixEpochTicks;
    return since / 10 - (since % 10 < 0);  // rounded down
}
int64_t Ticks(int64_t unixUs) {
    constexpr int64_t kEarliest = -emu::kUnixEpochTicks / 10, kLatest = (emu::kLastTicks - emu::kUnixEpochTicks) / 10;
    if (unixUs < kEarliest || unixUs > kLatest)
        Fail("the time " + std::to_string(unixUs) + " us is outside the platform's dates, " +
             std::to_string(kEarliest) + " (1601-01-01) to " + std::to_string(kLatest) + " us (9999-12-31)");
    return unixUs * 10 + emu::kUnixEpochTicks;
}

// The texts of a count-and-copy list, one after the other in one buffer.
class TextArea {
public:
    // Adds a text; answers where it lies.
    std::pair<int32_t, int32_t> Add(std::u16string_view text) {
        const std::string utf8 = emu::ToUtf8(text);
        const size_t at = bytes_.size();
        bytes_ += utf8;
        if (bytes_.size() > size_t(std::numeric_limits<int32_t>::max())) Fail("the texts are larger than 2 GiB");
        return {int32_t(at), int32_t(utf8.size())};
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Count and copy: every row the list answers made into its C record, copied with the texts only
// when both fit, so a caller gets one consistent snapshot or none. Answers the count, or -1 on a
// failure.
template <class Record, class List, class Make>
int32_t CountAndCopy(List list, Record* records, int32_t capacity, char* texts, int32_t textsCapacity,
                     int32_t* textsSize, Make make) noexcept {
    int32_t count = -1;
    Guarded([&] {
        const auto rows = list();
        TextArea area;
        std::vector<Record> made;
        made.reserve(rows.size());
        for (const auto& row : rows) made.push_back(make(row, area));
        if (textsSize) *textsSize = int32_t(area.Bytes().size());
        const bool textsFit =
            area.Bytes().empty() || (texts && size_t(textsCapacity) >= area.Bytes().size() && textsCapacity >= 0);
        if (records && capacity >= 0 && size_t(capacity) >= made.size() && textsFit) {
            if (!made.empty()) std::memcpy(records, made.data(), made.size() * sizeof(Record));
            if (!area.Bytes().empty()) std::memcpy(texts, area.Bytes().data(), area.Bytes().size());
        }
        count = int32_t(made.size());
    });
    return count;
}

}  // namespace

extern "C" {

int velmora_emulator_load_scenario_file(const char* path) {
    return Guarded([&] {
        const auto file = emu::scenario_detail::PathFromUtf8(Required(path, "the scenario file's path"));
        emu::ApplyScenario(emu::LoadScenarioFile(file));
    });
}

int velmora_emulator_load_scenario_json(const char* json, const char* name) {
    return Guarded([&] {
        const std::string text = Required(json, "the scenario text");
        emu::ApplyScenario(emu::ParseScenario(text, name ? name : "<text>", std::filesystem::current_path()));
    });
}

int velmora_emulator_load_default_scenario(void) {
    return Guarded([] { emu::ApplyScenario(emu::DefaultScenario()); });
}

void velmora_emulator_set_reset_keeps_subscriptions(int keep) { emu::SetResetKeepsSubscriptions(keep != 0); }

void velmora_emulator_reset(void) {
    Quiet([] { emu::Reset(); });
}

int velmora_emulator_inject_fault(const char* call, int32_t hr, int32_t times) {
    return Guarded([&] {
        const std::string name = Required(call, "the call's name");
        if (name.empty()) Fail("the call's name is empty");
        if (hr == 0) Fail("a fault answers a code other than 0 (S_OK)");
        if (times == 0) Fail("a fault for 0 calls; give a count of 1 or more, or a negative one for every call");
        emu::InjectFault(name, hr, times < 0 ? -1 : int(times));
    });
}

void velmora_emulator_clear_faults(void) {
    Quiet([] { emu::ClearFaults(); });
}

int velmora_emulator_script_outcome(const char* call, int kind, int32_t hr, int64_t delay_us, int32_t times) {
    return Guarded([&] {
        const std::string name = Required(call, "the call's name");
        if (name.empty()) Fail("the call's name is empty");
        emu::Outcome outcome;
        outcome.kind = emu::Outcome::Kind(kind);
        if (auto problem = emu::OutcomeKindProblem(outcome.kind)) Fail(*problem);
        outcome.hr = hr;
        outcome.delay = delay_us < 0 ? std::chrono::microseconds{-1} : CheckedDelay(delay_us);
        if (times <= 0) Fail("an outcome for " + std::to_string(times) + " starts; give a count of 1 or more");
        emu::ScriptOutcome(name, outcome, int(times));
    });
}

void velmora_emulator_clear_scripts(void) {
    Quiet([] { emu::ClearScripts(); });
}

int velmora_emulator_set_default_delay(int64_t delay_us) {
    return Guarded([&] {
        if (delay_us < 0) Fail("a negative default delay (" + std::to_string(delay_us) + " us)");
        emu::SetDefaultDelay(CheckedDelay(delay_us));
    });
}

int velmora_emulator_raise_purchase(uint32_t user_id, const char* product_id, uint32_t quantity) {
    return Guarded([&] {
        const std::u16string product = emu::FromUtf8(Required(product_id, "the product id"));
        const emu::HRESULT hr = emu::RaisePurchase(user_id, product, quantity);
        if (hr == emu::E_INVALIDARG) Fail("no signed-in user has the id " + std::to_string(user_id));
        Check(hr, "raising the purchase event");
    });
}

int velmora_emulator_buy(uint32_t user_id, const char* product_id, uint32_t quantity) {
    return Guarded([&] {
        const std::string product = Required(product_id, "the product id");
        const emu::HRESULT hr = emu::BuyOutsideTheGame(user_id, emu::FromUtf8(product), quantity);
        if (hr == emu::E_INVALIDARG) Fail("no signed-in user has the id " + std::to_string(user_id));
        if (hr == emu::kOfferNotAvailable) Fail("the catalog has no product \"" + product + "\"");
        Check(hr, "buying \"" + product + "\"");
    });
}

int velmora_emulator_complete_installation(const char* package_json, int32_t operation) {
    return Guarded([&] {
        const emu::ScenarioPackage package = ParsePackage(Required(package_json, "the package text"));
        const emu::PackageData data = emu::MaterializePackage(package);
        Check(emu::StartInstallation(data, emu::InstallOperationType(operation)),
              "installing package \"" + emu::ToUtf8(data.packageFullName) + "\"");
    });
}

void velmora_emulator_wait_idle(void) {
    Quiet([] { emu::WaitIdle(); });
}

int32_t velmora_emulator_signed_in_users(uint32_t* ids, int32_t capacity) {
    try {
        const std::vector<uint32_t> signedIn = emu::SignedInUserIds();
        for (size_t i = 0; ids && capacity > 0 && i < signedIn.size() && i < size_t(capacity); ++i)
            ids[i] = signedIn[i];
        return int32_t(signedIn.size());
    } catch (...) {
        return 0;  // out of memory; no exception may reach a C caller
    }
}

int32_t velmora_emulator_transactions(VelmoraTransaction* entries, int32_t capacity, char* texts,
                                      int32_t texts_capacity, int32_t* texts_size) {
    return CountAndCopy(emu::Transactions, entries, capacity, texts, texts_capacity, texts_size,
                        [](const emu::Transaction& t, TextArea& area) {
                            VelmoraTransaction c{};
                            c.id = t.id;
                            c.time_us = UnixMicroseconds(t.time);
                            c.refund_of = t.refundOf;
                            c.user_id = t.userId;
                            c.quantity = t.quantity;
                            c.source = int32_t(t.source);
                            c.outcome = int32_t(t.outcome);
                            c.hresult = t.hresult;
                            std::tie(c.product_id_offset, c.product_id_length) = area.Add(t.productId);
                            std::tie(c.transaction_id_offset, c.transaction_id_length) = area.Add(t.transactionId);
                            return c;
                        });
}

uint64_t velmora_emulator_transactions_dropped(void) { return emu::TransactionsDropped(); }

int velmora_emulator_refund(uint64_t transaction_id, uint64_t* refund_id) {
    return Guarded([&] {
        const uint64_t id = emu::Refund(transaction_id);
        if (refund_id) *refund_id = id;
    });
}

int64_t velmora_emulator_clock_now_us(void) { return UnixMicroseconds(emu::NowTicks()); }
int velmora_emulator_clock_is_fixed(void) { return emu::FixedClock() ? 1 : 0; }

int velmora_emulator_set_clock_us(int64_t unix_us) {
    return Guarded([&] { emu::SetClock(Ticks(unix_us)); });
}

int velmora_emulator_advance_clock_us(int64_t us) {
    return Guarded([&] { emu::AdvanceClock(std::chrono::microseconds(us)); });
}

void velmora_emulator_use_real_time(void) {
    Quiet([] { emu::UseRealTime(); });
}

void velmora_emulator_hold_screens(int hold) {
    Quiet([&] { emu::HoldScreens(hold != 0); });
}

int velmora_emulator_holding_screens(void) { return emu::HoldingScreens() ? 1 : 0; }

int32_t velmora_emulator_open_screens(VelmoraOpenScreen* screens, int32_t capacity, char* texts, int32_t texts_capacity,
                                      int32_t* texts_size) {
    return CountAndCopy(emu::OpenScreens, screens, capacity, texts, texts_capacity, texts_size,
                        [](const emu::OpenScreen& o, TextArea& area) {
                            VelmoraOpenScreen c{};
                            c.id = o.id;
                            c.user_id = o.userId;
                            c.kind = int32_t(o.kind);
                            std::tie(c.product_id_offset, c.product_id_length) = area.Add(o.productId);
                            std::tie(c.offer_offset, c.offer_length) = area.Add(o.offer);
                            return c;
                        });
}

int velmora_emulator_decide_screen(uint64_t screen_id, int decision, int32_t hr) {
    return Guarded([&] { emu::DecideScreen(screen_id, emu::ScreenDecision(decision), hr); });
}

int velmora_emulator_save_world(const char* path) {
    return Guarded([&] {
        const std::string file = Required(path, "the file's path");
        if (file.empty()) Fail("the file's path is empty");
        emu::SaveWorld(emu::scenario_detail::PathFromUtf8(file));
    });
}

int velmora_emulator_start_control_page(int32_t port) {
    return Guarded([&] { emu::StartControlPage(int(port)); });
}

int32_t velmora_emulator_control_page_address(char* buffer, int32_t capacity) {
    try {
        const std::string address = emu::ControlPageAddress();
        if (buffer && capacity > 0 && address.size() < size_t(capacity))
            std::memcpy(buffer, address.c_str(), address.size() + 1);
        return int32_t(address.size());
    } catch (...) {
        return 0;  // out of memory; no exception may reach a C caller
    }
}

void velmora_emulator_stop_control_page(void) {
    Quiet([] { emu::StopControlPage(); });
}

int64_t velmora_emulator_live_objects(void) { return emu::LiveObjects(); }
int64_t velmora_emulator_live_strings(void) { return emu::LiveStrings(); }

const char* velmora_emulator_last_error(void) { return lastError.Text(); }

}  // extern "C"
