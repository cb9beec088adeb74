// The last failure's message of a C interface (the host's, the emulator's, the checked exports'),
// kept per thread in a fixed buffer. It has no destructor on purpose: a thread-local object with one
// is destroyed when its thread ends, and mingw-w64 frees a thread's thread-local storage before it
// runs those destructors. A message longer than the buffer is cut at a character boundary and ends
// with kCutMarker.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace velmora::c_interfaces {

class LastError {
public:
    static constexpr size_t kCapacity = 2048;  // bytes, the terminating NUL included
    static constexpr std::string_view kCutMarker = " [...]";

    constexpr LastError() = default;

    // Valid until the next change on this thread.
    const char* Text() const noexcept { return text_; }

    void Clear() noexcept {
        length_ = 0;
        cut_ = false;
        text_[0] = '\0';
    }
    void Set(std::string_view message) noexcept {
        Clear();
        Append(message);
    }
    // Adds to the message; nothing more once it was cut.
    void Append(std::string_view part) noexcept {
        if (cut_) return;
        if (part.size() < kCapacity - length_) {
            std::memcpy(text_ + length_, part.data(), part.size());
            length_ += part.size();
            text_[length_] = '\0';
            return;
        }
        // Keep what fits beside the marker, then step back over a character the cut would split
        // (a UTF-8 continuation byte is 10xxxxxx).
        const size_t old = length_;
        size_t keep = kCapacity - 1 - kCutMarker.size();
        const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(i < old ? text_[i] : part[i - old]); };
        while (keep > 0 && (byteAt(keep) & 0xC0) == 0x80) --keep;
        if (keep > old) std::memcpy(text_ + old, part.data(), keep - old);
        std::memcpy(text_ + keep, kCutMarker.data(), kCutMarker.size());
        length_ = keep + kCutMarker.size();
        text_[length_] = '\0';
        cut_ = true;
    }

private:
    char text_[kCapacity] = {};
    size_t length_ = 0;
    bool cut_ = false;
};

static_assert(std::is_trivially_destructible_v<LastError>, "a thread's end must not have to destroy it");

}  // namespace velmora::c_interfaces
