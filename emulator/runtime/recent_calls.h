// The emulated services' call logs.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace velmora::emu {

// The most recent calls a service received, as tests and tools inspect them. Older calls are
// forgotten, so a long run does not grow without bound; the slots are reused, so a call filled in
// place (Next) allocates nothing once its texts have fitted before. Callers hold their own lock.
template <class T>
class RecentCalls {
public:
    static constexpr size_t kKept = 1024;
    void Record(T call) { Next() = std::move(call); }
    // The slot of a new call, holding an old call's values (or none) to be overwritten.
    T& Next() {
        if (calls_.size() < kKept) return calls_.emplace_back();
        T& slot = calls_[oldest_];
        oldest_ = (oldest_ + 1) % kKept;
        return slot;
    }
    std::vector<T> Snapshot() const {
        std::vector<T> out(calls_.begin() + ptrdiff_t(oldest_), calls_.end());
        out.insert(out.end(), calls_.begin(), calls_.begin() + ptrdiff_t(oldest_));
        return out;
    }
    void Clear() {
        calls_.clear();
        oldest_ = 0;
    }

private:
    std::vector<T> calls_;
    size_t oldest_ = 0;  // once full, the slot Next overwrites
};

}  // namespace velmora::emu
