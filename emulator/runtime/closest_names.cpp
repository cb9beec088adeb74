#include "emulator/runtime/closest_names.h"

#include <algorithm>

namespace velmora::emu {

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string_view> ClosestNames(std::string_view name, std::span<const std::string_view> known) {
    constexpr size_t kMost = 3, kSlack = 2;
    struct Scored {
        size_t distance;
        std::string_view name;
    };
    // A name without an interface ("GetInventoryItemsAsync") is compared with the known names' members too.
    const bool bare = name.find('.') == std::string_view::npos;
    std::vector<Scored> scored;
    for (std::string_view k : known) {
        const size_t dot = k.rfind('.');
        const size_t member = bare && dot != std::string_view::npos ? EditDistance(name, k.substr(dot + 1)) : k.size();
        scored.push_back({std::min(EditDistance(name, k), member), k});
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const Scored& a, const Scored& b) { return a.distance < b.distance; });
    std::vector<std::string_view> closest;
    for (const Scored& s : scored)
        if (closest.size() < kMost && s.distance <= scored.front().distance + kSlack) closest.push_back(s.name);
    return closest;
}

std::string QuotedChoice(std::span<const std::string_view> names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += "\"" + std::string(names[i]) + "\"";
    }
    return text;
}

}  // namespace velmora::emu
