// The host's plugin log: the IHaldenPluginLog the host delivers to the plugin at start-up. It
// formats and records every line, so tests can read back what the plugin logged, and can echo each
// line as "[tag] text" (UTF-8) to a FILE* or a callback.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host_interfaces.h"

namespace velmora::host {

struct LogLine {
    std::u16string tag;
    std::u16string location;  // empty for WriteLine
    std::u16string text;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};

// Formats UTF-16 text with the C printf rules of the wide-string functions, where %s and %ls read
// a char16_t string and %hs / %S read a UTF-8 char string. Conversions: d i u o x X c C s S p n %
// and the floating ones (f F e E g G a A), with flags (- + space # 0), width and precision (digits
// or *), and the length modifiers hh h l ll j z t L and I64. A null string prints "(null)"; %n
// writes nothing; an unknown conversion is printed as written.
std::u16string FormatWide(const char16_t* format, va_list args);
std::u16string FormatWideArgs(const char16_t* format, ...);

// "[tag] text" in UTF-8, the form the echo prints.
std::string EchoText(const LogLine& line);

class PluginLog final : public IHaldenPluginLog {
public:
    using Sink = std::function<void(const LogLine&)>;

    PluginLog() = default;
    PluginLog(const PluginLog&) = delete;
    PluginLog& operator=(const PluginLog&) = delete;

    // ---- IHaldenPluginLog (what the plugin calls); thread-safe, null texts read as empty ----
    const char* GetInterfaceName() const override;
    void WriteLine(const char16_t* tag, const char16_t* line) override;
    void LogFormatV(const char16_t* tag, const char16_t* location, const char16_t* format, va_list args) override;

    // ---- Host side ----
    void Record(LogLine line);
    std::vector<LogLine> Lines() const;
    size_t LineCount() const;
    std::optional<LogLine> Line(size_t index) const;
    // True when some recorded text contains the fragment.
    bool Contains(std::u16string_view fragment) const;
    void Clear();

    // Called with every new line, on the logging thread, outside the log's lock. Null removes it.
    void SetSink(Sink sink);
    // Prints every new line as "[tag] text\n" to the stream; null stops echoing.
    void EchoTo(FILE* stream);

private:
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
    std::shared_ptr<const Sink> sink_;
};

}  // namespace velmora::host
