// The state of a platform notification that managed code subscribes to: the one managed callback
// and its user data, and the once-per-process platform subscription.
//
// The pair is read on platform and host threads while a registration may write it, so it sits
// behind a small lock and is always read whole. The subscription is made under its own lock, so
// two first registrations arriving together subscribe once.
#pragma once

#include <atomic>
#include <mutex>
#include <utility>

namespace HaldenPlugin {

template <class Callback>
class CallbackPair {
public:
    void Set(Callback callback, void* userData) {
        std::lock_guard lock(mutex_);
        callback_ = callback;
        userData_ = userData;
    }
    std::pair<Callback, void*> Get() const {
        std::lock_guard lock(mutex_);
        return {callback_, userData_};
    }

private:
    mutable std::mutex mutex_;
    Callback callback_ = nullptr;
    void* userData_ = nullptr;
};

// Initialized when the module loads, before any export can run (std::mutex has no constant
// initializer on every toolchain, so this cannot be constinit).
class PlatformSubscription {
public:
    // Runs `subscribe` unless a subscription exists; it is never removed. A subscribe that
    // throws leaves the flag clear, so the next registration tries again.
    template <class Subscribe>
    void Ensure(Subscribe&& subscribe) {
        if (subscribed_.load(std::memory_order_acquire)) return;
        std::lock_guard lock(mutex_);
        if (subscribed_.load(std::memory_order_relaxed)) return;
        subscribe();
        subscribed_.store(true, std::memory_order_release);
    }
    bool Subscribed() const { return subscribed_.load(std::memory_order_acquire); }

private:
    std::mutex mutex_;
    std::atomic<bool> subscribed_{false};
};

}  // namespace HaldenPlugin
