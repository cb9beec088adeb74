// The package manager class and its activation factory, the installed packages and titles of the
// scenario, installations, and the install-completed subscriptions, which are process-wide.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>

#include "emulator/runtime/faults.h"
#include "emulator/runtime/reset.h"
#include "emulator/runtime/strings.h"
#include "emulator/runtime/vectors.h"
#include "emulator/runtime/worker_pool.h"
#include "emulator/services/component.h"
#include "emulator/services/packages/records.h"

namespace velmora::emu {
namespace {

using namespace packages;
using ::ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackageInstallCompletedEventArgs;
using ::ABI::Windows::Xbox::Management::Deployment::IDownloadableContentPackageInstallCompletedEventHandler;
using ::ABI::Windows::Xbox::Management::Deployment::IInstallCompletedWithDetailsHandler;
using ::ABI::Windows::Xbox::Management::Deployment::RuntimeClass_DownloadableContentPackageManager;
using CompletedHandler = IDownloadableContentPackageInstallCompletedEventHandler;
using DetailsHandler = IInstallCompletedWithDetailsHandler;

template <class Handler>
struct Subscriber {
    int64_t token;
    ComPtr<Handler> handler;
};

struct Scenario {
    std::vector<std::shared_ptr<PackageState>> packages;  // installation order
    std::u16string currentTitle;
    std::vector<std::u16string> relatedTitles;
    bool providesInterface = true;
    bool findAnswersNull = false;
    int64_t nextToken = 1;
    std::vector<Subscriber<CompletedHandler>> completed;
    std::vector<Subscriber<DetailsHandler>> details;
};

std::mutex scenarioMutex;
// Never destroyed: at process exit it may still hold delegates of a module already unloaded.
Scenario& TheScenario() {
    static Scenario* scenario = new Scenario;
    return *scenario;
}

struct Counters {
    std::atomic<uint32_t> activations{0}, finds{0}, mounts{0}, unmounts{0};
};
Counters counters;

// Checks what every installed package needs and stores its folder as an absolute path.
HRESULT Normalize(PackageData& data) {
    if (data.packageFullName.empty() || data.folder.empty()) return E_INVALIDARG;
    std::error_code error;
    const std::filesystem::path folder(ToUtf8(data.folder));
    if (!std::filesystem::is_directory(folder, error)) return E_INVALIDARG;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    if (error) return E_INVALIDARG;
    data.folder = FromUtf8(absolute.lexically_normal().string());
    return S_OK;
}

using PackageList = std::vector<std::shared_ptr<PackageState>>;
PackageList::iterator FindInstalled(PackageList& list, std::u16string_view packageFullName) {
    return std::find_if(list.begin(), list.end(),
                        [&](const auto& p) { return p->data.packageFullName == packageFullName; });
}

void MarkUninstalled(PackageState& state) {
    std::lock_guard lock(state.mutex);
    state.installed = false;
}

bool Matches(const Scenario& s, DownloadableContentPackageFilter filter, const std::u16string& titleId) {
    using F = DownloadableContentPackageFilter;
    const bool current = titleId == s.currentTitle;
    const bool related = std::find(s.relatedTitles.begin(), s.relatedTitles.end(), titleId) != s.relatedTitles.end();
    switch (filter) {
        case F::AllDownloadableContentOnly:
            return true;
        case F::AllRelatedPackages:
            return current || related;
        case F::CurrentTitleOnly:
            return current;
        case F::RelatedTitlesOnly:
            return related;
    }
    return false;
}

template <class Handler>
HRESULT Subscribe(std::vector<Subscriber<Handler>> Scenario::*list, Handler* handler, EventRegistrationToken* token) {
    if (!handler) return E_INVALIDARG;
    if (!token) return E_POINTER;
    std::lock_guard lock(scenarioMutex);
    Scenario& s = TheScenario();
    token->value = s.nextToken++;
    (s.*list).push_back({token->value, ComPtr<Handler>(handler)});
    return S_OK;
}

// An unknown token is ignored, as the console's event sources do.
template <class Handler>
HRESULT Unsubscribe(std::vector<Subscriber<Handler>> Scenario::*list, EventRegistrationToken token) {
    ComPtr<Handler> released;  // let go of outside the lock: the delegate's owner may call back in
    std::lock_guard lock(scenarioMutex);
    auto& subscribers = TheScenario().*list;
    auto it =
        std::find_if(subscribers.begin(), subscribers.end(), [&](const auto& s) { return s.token == token.value; });
    if (it == subscribers.end()) return S_OK;
    released = std::move(it->handler);
    subscribers.erase(it);
    return S_OK;
}

class DownloadableContentPackageManager
    : public RuntimeObject<DownloadableContentPackageManager, IDownloadableContentPackageManager> {
public:
    static constexpr const char16_t* RuntimeClassName = RuntimeClass_DownloadableContentPackageManager;

    HRESULT FindPackages(DownloadableContentPackageFilter filter,
                         IVectorView<IDownloadableContentPackage*>** packages) override {
        ++counters.finds;
        if (HRESULT hr = TakeFault("IDownloadableContentPackageManager.FindPackages")) return hr;
        if (!packages) return E_POINTER;
        *packages = nullptr;
        if (int32_t(filter) < 0 || int32_t(filter) > 3) return E_INVALIDARG;
        PackageList found;
        {
            std::lock_guard lock(scenarioMutex);
            const Scenario& s = TheScenario();
            if (s.findAnswersNull) return S_OK;
            for (const auto& p : s.packages)
                if (Matches(s, filter, p->data.titleId)) found.push_back(p);
        }
        std::vector<ComPtr<IDownloadableContentPackage>> objects(found.size());
        for (size_t i = 0; i < found.size(); ++i)
            if (HRESULT hr = MakePackage(found[i], objects[i].Put()); Failed(hr)) return hr;
        *packages = MakeObjectVectorView(objects).Detach();
        return S_OK;
    }

    HRESULT add_DownloadableContentPackageInstallCompleted(CompletedHandler* handler,
                                                           EventRegistrationToken* token) override {
        if (HRESULT hr = TakeFault("IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompleted"))
            return hr;
        return Subscribe(&Scenario::completed, handler, token);
    }
    HRESULT remove_DownloadableContentPackageInstallCompleted(EventRegistrationToken token) override {
        if (HRESULT hr =
                TakeFault("IDownloadableContentPackageManager.remove_DownloadableContentPackageInstallCompleted"))
            return hr;
        return Unsubscribe(&Scenario::completed, token);
    }
    HRESULT add_DownloadableContentPackageInstallCompletedWithDetails(DetailsHandler* handler,
                                                                      EventRegistrationToken* token) override {
        if (HRESULT hr = TakeFault(
                "IDownloadableContentPackageManager.add_DownloadableContentPackageInstallCompletedWithDetails"))
            return hr;
        return Subscribe(&Scenario::details, handler, token);
    }
    HRESULT remove_DownloadableContentPackageInstallCompletedWithDetails(EventRegistrationToken token) override {
        if (HRESULT hr = TakeFault(
                "IDownloadableContentPackageManager.remove_DownloadableContentPackageInstallCompletedWithDetails"))
            return hr;
        return Unsubscribe(&Scenario::details, token);
    }
};

// What ActivateInstance answers while the scenario withholds the manager interface: an instance
// of the class that provides IInspectable only.
class InstanceWithoutManager : public RuntimeObject<InstanceWithoutManager, IInspectable> {
public:
    static constexpr const char16_t* RuntimeClassName = RuntimeClass_DownloadableContentPackageManager;
};

class ManagerFactory : public RuntimeObject<ManagerFactory, IActivationFactory> {
public:
    static constexpr const char16_t* RuntimeClassName = RuntimeClass_DownloadableContentPackageManager;

    HRESULT ActivateInstance(IInspectable** instance) override {
        if (HRESULT hr = TakeFault("IActivationFactory.ActivateInstance")) return hr;
        if (!instance) return E_POINTER;
        bool provides;
        {
            std::lock_guard lock(scenarioMutex);
            provides = TheScenario().providesInterface;
        }
        if (provides) {
            *instance = static_cast<IInspectable*>(Make<DownloadableContentPackageManager>().Detach());
        } else {
            *instance = Make<InstanceWithoutManager>().Detach();
        }
        ++counters.activations;
        return S_OK;
    }
};

void Install(const PackageData& data, InstallOperationType operation) {
    std::vector<ComPtr<CompletedHandler>> completed;
    std::vector<ComPtr<DetailsHandler>> details;
    {
        std::lock_guard lock(scenarioMutex);
        Scenario& s = TheScenario();
        auto state = std::make_shared<PackageState>(data);
        if (auto it = FindInstalled(s.packages, data.packageFullName); it != s.packages.end()) {
            MarkUninstalled(**it);
            *it = std::move(state);
        } else {
            s.packages.push_back(std::move(state));
        }
        for (const auto& sub : s.completed) completed.push_back(sub.handler);
        for (const auto& sub : s.details) details.push_back(sub.handler);
    }
    // Delegates run outside the lock: they may subscribe, unsubscribe or query again.
    for (const auto& handler : completed) handler->Invoke();
    if (details.empty()) return;
    ComPtr<IDownloadableContentPackageInstallCompletedEventArgs> args;
    if (Failed(MakeInstallCompletedEventArgs(operation, data.packageFullName, data.contentGuid, args.Put()))) return;
    for (const auto& handler : details) handler->Invoke(nullptr, args.Get());
}

void ClearScenario() {
    Scenario dropped;
    {
        std::lock_guard lock(scenarioMutex);
        std::swap(dropped, TheScenario());
        if (ResetKeepsSubscriptions()) {
            TheScenario().nextToken = dropped.nextToken;
            TheScenario().completed = std::move(dropped.completed);
            TheScenario().details = std::move(dropped.details);
        }
    }
    for (const auto& p : dropped.packages) MarkUninstalled(*p);
    counters.activations = 0;
    counters.finds = 0;
    counters.mounts = 0;
    counters.unmounts = 0;
}

const bool registered = [] {
    RegisterActivatableClass(RuntimeClass_DownloadableContentPackageManager, NewFactory<ManagerFactory>);
    OnReset(ClearScenario);
    return true;
}();

}  // namespace

namespace packages {
void CountMount() { ++counters.mounts; }
void CountUnmount() { ++counters.unmounts; }
}  // namespace packages

HRESULT AddPackage(const PackageData& package) {
    PackageData data = package;
    if (HRESULT hr = Normalize(data); Failed(hr)) return hr;
    std::lock_guard lock(scenarioMutex);
    Scenario& s = TheScenario();
    if (FindInstalled(s.packages, data.packageFullName) != s.packages.end()) return E_INVALIDARG;
    s.packages.push_back(std::make_shared<PackageState>(std::move(data)));
    return S_OK;
}

HRESULT RemovePackage(std::u16string_view packageFullName) {
    std::lock_guard lock(scenarioMutex);
    Scenario& s = TheScenario();
    auto it = FindInstalled(s.packages, packageFullName);
    if (it == s.packages.end()) return E_NOT_FOUND;
    MarkUninstalled(**it);
    s.packages.erase(it);
    return S_OK;
}

std::vector<PackageData> InstalledPackages() {
    std::lock_guard lock(scenarioMutex);
    std::vector<PackageData> out;
    for (const auto& p : TheScenario().packages) {
        out.push_back(p->data);
        std::lock_guard packageLock(p->mutex);
        out.back().licensed = p->licensed;
    }
    return out;
}

void SetTitles(std::u16string currentTitleId, std::vector<std::u16string> relatedTitleIds) {
    std::lock_guard lock(scenarioMutex);
    TheScenario().currentTitle = std::move(currentTitleId);
    TheScenario().relatedTitles = std::move(relatedTitleIds);
}

TitleIds Titles() {
    std::lock_guard lock(scenarioMutex);
    return {TheScenario().currentTitle, TheScenario().relatedTitles};
}

HRESULT SetPackageLicensed(std::u16string_view packageFullName, bool licensed) {
    std::lock_guard lock(scenarioMutex);
    Scenario& s = TheScenario();
    auto it = FindInstalled(s.packages, packageFullName);
    if (it == s.packages.end()) return E_NOT_FOUND;
    std::lock_guard packageLock((*it)->mutex);
    (*it)->licensed = licensed;
    return S_OK;
}

HRESULT SetPackageMountedByte(std::u16string_view packageFullName, uint8_t value) {
    std::lock_guard lock(scenarioMutex);
    Scenario& s = TheScenario();
    auto it = FindInstalled(s.packages, packageFullName);
    if (it == s.packages.end()) return E_NOT_FOUND;
    std::lock_guard packageLock((*it)->mutex);
    (*it)->mounted = value;
    return S_OK;
}

std::vector<InstalledPackage> InstalledPackagesWithState() {
    std::lock_guard lock(scenarioMutex);
    std::vector<InstalledPackage> out;
    for (const auto& p : TheScenario().packages) {
        out.push_back({p->data});
        std::lock_guard packageLock(p->mutex);
        out.back().data.licensed = p->licensed;
        out.back().mounted = p->mounted != 0;
    }
    return out;
}

void SetManagerProvidesInterface(bool provides) {
    std::lock_guard lock(scenarioMutex);
    TheScenario().providesInterface = provides;
}

void SetFindPackagesAnswersNull(bool answersNull) {
    std::lock_guard lock(scenarioMutex);
    TheScenario().findAnswersNull = answersNull;
}

size_t SubscriberCount(PackageEvent kind) {
    std::lock_guard lock(scenarioMutex);
    return kind == PackageEvent::InstallCompleted ? TheScenario().completed.size() : TheScenario().details.size();
}

HRESULT StartInstallation(const PackageData& package, InstallOperationType operation) {
    PackageData data = package;
    if (HRESULT hr = Normalize(data); Failed(hr)) return hr;
    Submit([data = std::move(data), operation] { Install(data, operation); });
    return S_OK;
}

PackageCallCounts PackageCalls() {
    return {counters.activations.load(), counters.finds.load(), counters.mounts.load(), counters.unmounts.load()};
}

}  // namespace velmora::emu
