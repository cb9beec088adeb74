// The emulator refuses a fault or a scripted outcome it could never apply: a call it never makes,
// an outcome for a call that starts no operation, an outcome of no known kind. The refusal names the
// closest known names, in C++, through the C interface and in a scenario, and changes nothing.
#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator/c_interface/c_api.h"
#include "emulator/runtime/faults.h"
#include "emulator/runtime/known_calls.h"
#include "emulator/runtime/scripted_outcomes.h"
#include "emulator/runtime/strings.h"
#include "emulator/services/activatable_classes.h"
#include "emulator/services/users.h"
#include "tests/emulator_fixture.h"

namespace velmora::test {
namespace {

using emu::Outcome;
using KnownCallsTest = EmulatorTest;

TEST_F(KnownCallsTest, EachNameIsListedOnce) {
    std::set<std::string_view> seen;
    for (const emu::KnownCall& call : emu::kKnownCalls) EXPECT_TRUE(seen.insert(call.name).second) << call.name;
}

// The one call name made at run time: the activation of a class, found in the list at registration.
TEST_F(KnownCallsTest, EachActivatableClassHasItsActivationCallAndNoOtherIsListed) {
    const std::string prefix = "RoGetActivationFactory:";
    std::set<std::string> listed, registered;
    for (const emu::KnownCall& call : emu::kKnownCalls)
        if (call.name.starts_with(prefix)) listed.insert(std::string(call.name));
    for (const std::u16string& runtimeClass : emu::ActivatableClasses())
        registered.insert(prefix + emu::ToUtf8(runtimeClass));
    EXPECT_EQ(listed, registered);
}

// Every listed name is accepted where it applies, and is armed under its own name.
TEST_F(KnownCallsTest, EveryKnownCallTakesAFaultAndEveryOperationAnOutcome) {
    for (const emu::KnownCall& call : emu::kKnownCalls) {
        SCOPED_TRACE(call.name);
        emu::InjectFault(call.name, ABI::E_ACCESSDENIED, 1);
        EXPECT_EQ(emu::TakeFault(*emu::CallName::Find(call.name)), ABI::E_ACCESSDENIED);
        EXPECT_EQ(emu::TakeFault(*emu::CallName::Find(call.name)), ABI::S_OK) << "armed for one call";
        EXPECT_EQ(emu::CallNameProblem(call.name, true).has_value(), !call.startsOperation);
    }
}

// One mistake, and the problem every route reports for it.
struct Mistake {
    const char* name;
    bool outcome;  // a scripted outcome (else a fault)
    std::string call;
    int kind;  // an outcome's
    std::string problem;
};

void PrintTo(const Mistake& m, std::ostream* out) { *out << m.name; }

const std::string kAllKinds =
    "the kinds are Complete (0), CompleteSynchronously (1), Fail (2), Cancel (3), NullResult (4), FailStart (5), "
    "NullOperation (6)";

const Mistake kMistakes[] = {
    {"FaultForAMisspeltCall", false, "IInventoryService.GetInventoryItemAsyn", 0,
     "unknown call \"IInventoryService.GetInventoryItemAsyn\"; did you mean "
     "\"IInventoryService.GetInventoryItemAsync\" or \"IInventoryService.GetInventoryItemsAsync\"?"},
    {"FaultForAPropertyWithoutItsPrefix", false, "IInventoryItem.ProductId", 0,
     "unknown call \"IInventoryItem.ProductId\"; did you mean \"IInventoryItem.get_ProductId\"?"},
    {"FaultForAMethodWithoutItsInterface", false, "GetInventoryItemsAsync", 0,
     "unknown call \"GetInventoryItemsAsync\"; did you mean \"IInventoryService.GetInventoryItemsAsync\" or "
     "\"IInventoryService.GetInventoryItemAsync\"?"},
    {"FaultForAnActivationInTheWrongCase", false, "roGetActivationFactory:Windows.Xbox.ApplicationModel.Store.product",
     0,
     "unknown call \"roGetActivationFactory:Windows.Xbox.ApplicationModel.Store.product\"; did you mean "
     "\"RoGetActivationFactory:Windows.Xbox.ApplicationModel.Store.Product\"?"},
    {"OutcomeForAMisspeltCall", true, "IInventoryService.GetInventoryItemAsyn", int(Outcome::Kind::Cancel),
     "unknown call \"IInventoryService.GetInventoryItemAsyn\"; did you mean "
     "\"IInventoryService.GetInventoryItemAsync\" or \"IInventoryService.GetInventoryItemsAsync\"?"},
    {"OutcomeForACallThatStartsNoOperation", true, "IProductStatics.add_ProductPurchased", int(Outcome::Kind::Cancel),
     "\"IProductStatics.add_ProductPurchased\" starts no asynchronous operation, so no outcome can be scripted for "
     "it; did you mean \"IProductStatics.ShowPurchaseAsync\"?"},
    {"OutcomeOfAKindPastTheLast", true, "ICatalogService.BrowseCatalogAsync", 7,
     "unknown outcome kind 7; " + kAllKinds},
    {"OutcomeOfANegativeKind", true, "ICatalogService.BrowseCatalogAsync", -1, "unknown outcome kind -1; " + kAllKinds},
};

enum class Route { Cpp, CInterface, Scenario };
const char* const kRouteNames[] = {"Cpp", "CInterface", "Scenario"};

void PrintTo(Route route, std::ostream* out) { *out << kRouteNames[int(route)]; }

// The route's message for the mistake, or "accepted".
std::string Refusal(Route route, const Mistake& m) {
    const Outcome outcome{Outcome::Kind(m.kind), ABI::E_FAIL};
    switch (route) {
        case Route::Cpp:
            try {
                m.outcome ? emu::ScriptOutcome(m.call, outcome) : emu::InjectFault(m.call, ABI::E_FAIL);
            } catch (const std::invalid_argument& e) {
                return e.what();
            }
            return "accepted";
        case Route::CInterface: {
            const int ok = m.outcome ? velmora_emulator_script_outcome(m.call.c_str(), m.kind, ABI::E_FAIL, -1, 1)
                                     : velmora_emulator_inject_fault(m.call.c_str(), ABI::E_FAIL, 1);
            return ok ? "accepted" : velmora_emulator_last_error();
        }
        case Route::Scenario: {
            // A scenario names a kind; a number is the kind's value.
            const std::string json = m.outcome
                                         ? R"({"outcomes": [{"call": ")" + m.call + R"(", "kind": )" +
                                               std::to_string(m.kind) + R"(, "hresult": "0x80004005"}]})"
                                         : R"({"faults": [{"call": ")" + m.call + R"(", "hresult": "0x80004005"}]})";
            return velmora_emulator_load_scenario_json(json.c_str(), "mistake.json") ? "accepted"
                                                                                     : velmora_emulator_last_error();
        }
    }
    return "no route";
}

class RefusedCallTest : public EmulatorTest, public ::testing::WithParamInterface<std::tuple<Route, Mistake>> {};

TEST_P(RefusedCallTest, NamesTheClosestKnownNamesAndChangesNothing) {
    const auto& [route, m] = GetParam();
    // What must survive the refusal: an armed fault and a scripted outcome.
    emu::InjectFault("IUser.get_Id", ABI::E_ACCESSDENIED, 1);
    emu::ScriptOutcome("ICatalogService.BrowseCatalogAsync", {Outcome::Kind::Cancel}, 1);

    std::string expected = m.problem;
    if (route == Route::CInterface) expected = "velmora emulator: " + m.problem;
    if (route == Route::Scenario) {
        const bool badKind = m.problem.starts_with("unknown outcome kind");
        // The scenario format has its own message for a kind: it names the kinds it writes.
        expected = std::string("mistake.json: ") + (m.outcome ? "$.outcomes[0]" : "$.faults[0]") +
                   (badKind ? ".kind: outcome kind " + std::to_string(m.kind) +
                                  " does not exist; expected Complete, CompleteSynchronously, Fail, Cancel, "
                                  "NullResult, FailStart or NullOperation"
                            : ".call: " + m.problem);
    }
    EXPECT_EQ(Refusal(route, m), expected);

    EXPECT_EQ(emu::TakeFault("IUser.get_Id"), ABI::E_ACCESSDENIED);
    EXPECT_EQ(emu::TakeFault("IUser.get_Id"), ABI::S_OK);
    EXPECT_EQ(emu::NextOutcome("ICatalogService.BrowseCatalogAsync").kind, Outcome::Kind::Cancel);
    EXPECT_EQ(emu::NextOutcome("ICatalogService.BrowseCatalogAsync"), Outcome{});
    // Nothing of a refused outcome waits behind them either.
    const Outcome marker{Outcome::Kind::Fail, ABI::E_ABORT};
    emu::ScriptOutcome("ICatalogService.BrowseCatalogAsync", marker);
    EXPECT_EQ(emu::NextOutcome("ICatalogService.BrowseCatalogAsync"), marker);
    if (const auto known = emu::CallName::Find(m.call)) {
        EXPECT_EQ(emu::TakeFault(*known), ABI::S_OK);
    }
}

std::string RouteAndMistake(const ::testing::TestParamInfo<std::tuple<Route, Mistake>>& info) {
    return std::string(kRouteNames[int(std::get<0>(info.param))]) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Routes, RefusedCallTest,
                         ::testing::Combine(::testing::Values(Route::Cpp, Route::CInterface, Route::Scenario),
                                            ::testing::ValuesIn(kMistakes)),
                         RouteAndMistake);

// velmora_emulator_signed_in_users: the count always, the ids up to the capacity, nothing written past it.
struct SignedInCase {
    const char* name;
    std::vector<uint32_t> users;
    bool withBuffer;
    int32_t capacity;
    size_t written;
};

void PrintTo(const SignedInCase& c, std::ostream* out) { *out << c.name; }

const SignedInCase kSignedInCases[] = {
    {"NobodyCounted", {}, false, 0, 0},
    {"NobodyIntoABuffer", {}, true, 4, 0},
    {"ThreeCountedWithoutABuffer", {1, 2, 7}, false, 4, 0},
    {"ThreeCountedWithCapacityZero", {1, 2, 7}, true, 0, 0},
    {"ThreeCountedWithANegativeCapacity", {1, 2, 7}, true, -1, 0},
    {"TheFirstTwoOfThree", {7, 1, 2}, true, 2, 2},
    {"AllThreeWithRoomToSpare", {7, 1, 2}, true, 4, 3},
};

class SignedInUsersTest : public EmulatorTest, public ::testing::WithParamInterface<SignedInCase> {};

TEST_P(SignedInUsersTest, CountsAndCopiesUpToTheCapacity) {
    const SignedInCase& c = GetParam();
    for (uint32_t id : c.users) ASSERT_EQ(emu::AddUser({id, u"Player", u"xuid"}), ABI::S_OK);
    constexpr uint32_t kGarbage = 0xCCCCCCCC;
    std::vector<uint32_t> ids(4, kGarbage);
    EXPECT_EQ(velmora_emulator_signed_in_users(c.withBuffer ? ids.data() : nullptr, c.capacity),
              int32_t(c.users.size()));
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], i < c.written ? c.users[i] : kGarbage) << "element " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, SignedInUsersTest, ::testing::ValuesIn(kSignedInCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora::test
