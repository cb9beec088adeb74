#include "host/plugin_log.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "host/text_encoding.h"

namespace velmora::host {
namespace {

enum class Length { None, Char, Short, Long, LongLong, IntMax, Size, PtrDiff, LongDouble };

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    char16_t conversion = 0;
    bool leftAlign() const { return flags.find('-') != std::string::npos; }
};

size_t Length16(const char16_t* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n]) ++n;
    return n;
}

void Pad(std::u16string& out, std::u16string_view body, const Directive& directive) {
    const size_t width = directive.width > 0 ? size_t(directive.width) : 0;
    const size_t fill = width > body.size() ? width - body.size() : 0;
    if (!directive.leftAlign()) out.append(fill, u' ');
    out.append(body);
    if (directive.leftAlign()) out.append(fill, u' ');
}

// Numbers go through the C library's own formatting so flags and precision behave exactly as in C;
// the output is ASCII, so widening it is a plain copy.
template <class T>
void AppendNumber(std::u16string& out, const Directive& directive, const char* lengthModifier, T value) {
    std::string narrowFormat = "%" + directive.flags;
    if (directive.width >= 0) narrowFormat += std::to_string(directive.width);
    if (directive.precision >= 0) narrowFormat += "." + std::to_string(directive.precision);
    narrowFormat += lengthModifier;
    narrowFormat += char(directive.conversion);

    char small[128];
    const int needed = std::snprintf(small, sizeof small, narrowFormat.c_str(), value);
    if (needed < 0) return;
    if (size_t(needed) < sizeof small) {
        out.append(small, small + needed);
        return;
    }
    std::string big(size_t(needed) + 1, '\0');
    std::snprintf(big.data(), big.size(), narrowFormat.c_str(), value);
    out.append(big.begin(), big.begin() + needed);
}

long long SignedArg(Length length, va_list& args) {
    switch (length) {
        case Length::Char:
            return static_cast<signed char>(va_arg(args, int));
        case Length::Short:
            return static_cast<short>(va_arg(args, int));
        case Length::Long:
            return va_arg(args, long);
        case Length::LongLong:
            return va_arg(args, long long);
        case Length::IntMax:
            return static_cast<long long>(va_arg(args, intmax_t));
        case Length::Size:
            return static_cast<long long>(va_arg(args, ptrdiff_t));
        case Length::PtrDiff:
            return static_cast<long long>(va_arg(args, ptrdiff_t));
        default:
            return va_arg(args, int);
    }
}

unsigned long long UnsignedArg(Length length, va_list& args) {
    switch (length) {
        case Length::Char:
            return static_cast<unsigned char>(va_arg(args, unsigned));
        case Length::Short:
            return static_cast<unsigned short>(va_arg(args, unsigned));
        case Length::Long:
            return va_arg(args, unsigned long);
        case Length::LongLong:
            return va_arg(args, unsigned long long);
        case Length::IntMax:
            return static_cast<unsigned long long>(va_arg(args, uintmax_t));
        case Length::Size:
            return va_arg(args, size_t);
        case Length::PtrDiff:
            return static_cast<unsigned long long>(va_arg(args, ptrdiff_t));
        default:
            return va_arg(args, unsigned);
    }
}

// Reads one conversion starting after '%'; answers the position after it, or npos when the
// format ends inside the conversion.
size_t ParseDirective(const char16_t* f, size_t i, Directive& directive, va_list& args) {
    for (; f[i] && std::u16string_view(u"-+ #0").find(f[i]) != std::u16string_view::npos; ++i) {
        directive.flags += char(f[i]);
    }
    if (f[i] == u'*') {
        const int w = va_arg(args, int);
        if (w < 0) directive.flags += '-';
        directive.width = w < 0 ? (w == INT_MIN ? INT_MAX : -w) : w;
        ++i;
    } else {
        for (; f[i] >= u'0' && f[i] <= u'9'; ++i) directive.width = std::max(directive.width, 0) * 10 + (f[i] - u'0');
    }
    if (f[i] == u'.') {
        ++i;
        if (f[i] == u'*') {
            const int p = va_arg(args, int);
            directive.precision = p < 0 ? -1 : p;
            ++i;
        } else {
            directive.precision = 0;
            for (; f[i] >= u'0' && f[i] <= u'9'; ++i) directive.precision = directive.precision * 10 + (f[i] - u'0');
        }
    }
    switch (f[i]) {
        case u'h':
            directive.length = f[i + 1] == u'h' ? (++i, Length::Char) : Length::Short;
            ++i;
            break;
        case u'l':
            directive.length = f[i + 1] == u'l' ? (++i, Length::LongLong) : Length::Long;
            ++i;
            break;
        case u'j':
            directive.length = Length::IntMax, ++i;
            break;
        case u'z':
            directive.length = Length::Size, ++i;
            break;
        case u't':
            directive.length = Length::PtrDiff, ++i;
            break;
        case u'L':
            directive.length = Length::LongDouble, ++i;
            break;
        case u'w':
            directive.length = Length::Long, ++i;
            break;
        case u'I':
            if (f[i + 1] == u'6' && f[i + 2] == u'4') directive.length = Length::LongLong, i += 3;
            break;
        default:
            break;
    }
    if (!f[i]) return std::u16string::npos;
    directive.conversion = f[i];
    return i + 1;
}

void AppendWideString(std::u16string& out, const Directive& directive, const char16_t* s) {
    if (!s) s = u"(null)";
    const size_t limit = directive.precision >= 0 ? size_t(directive.precision) : SIZE_MAX;
    Pad(out, std::u16string_view(s, Length16(s, limit)), directive);
}

void AppendNarrowString(std::u16string& out, const Directive& directive, const char* s) {
    std::u16string wide = Utf8ToUtf16(s ? s : "(null)");
    if (directive.precision >= 0 && wide.size() > size_t(directive.precision)) wide.resize(size_t(directive.precision));
    Pad(out, wide, directive);
}

}  // namespace

std::u16string FormatWide(const char16_t* format, va_list incoming) {
    std::u16string out;
    if (!format) return out;
    va_list args;
    va_copy(args, incoming);
    size_t i = 0;
    while (format[i]) {
        if (format[i] != u'%') {
            out += format[i++];
            continue;
        }
        const size_t start = i;
        Directive directive;
        const size_t next = ParseDirective(format, i + 1, directive, args);
        if (next == std::u16string::npos) {
            out.append(format + start);
            break;
        }
        i = next;
        const bool narrowText = directive.length == Length::Short;
        switch (directive.conversion) {
            case u'%':
                out += u'%';
                break;
            case u'd':
            case u'i':
                AppendNumber(out, directive, "ll", SignedArg(directive.length, args));
                break;
            case u'u':
            case u'o':
            case u'x':
            case u'X':
                AppendNumber(out, directive, "ll", UnsignedArg(directive.length, args));
                break;
            case u'c':
            case u'C': {
                const int c = va_arg(args, int);
                const char16_t ch = (narrowText || directive.conversion == u'C')
                                        ? char16_t(static_cast<unsigned char>(c))
                                        : char16_t(c);
                Pad(out, std::u16string_view(&ch, 1), directive);
                break;
            }
            case u's':
                if (narrowText) {
                    AppendNarrowString(out, directive, va_arg(args, const char*));
                } else {
                    AppendWideString(out, directive, va_arg(args, const char16_t*));
                }
                break;
            case u'S':
                AppendNarrowString(out, directive, va_arg(args, const char*));
                break;
            case u'p':
                AppendNumber(out, directive, "", va_arg(args, void*));
                break;
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                if (directive.length == Length::LongDouble) {
                    AppendNumber(out, directive, "L", va_arg(args, long double));
                } else {
                    AppendNumber(out, directive, "", va_arg(args, double));
                }
                break;
            case u'n':
                (void)va_arg(args, void*);
                break;  // never write through a logged pointer
            default:
                out.append(format + start, format + i);
                break;
        }
    }
    va_end(args);
    return out;
}

std::u16string FormatWideArgs(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string text = FormatWide(format, args);
    va_end(args);
    return text;
}

std::string EchoText(const LogLine& line) { return "[" + Utf16ToUtf8(line.tag) + "] " + Utf16ToUtf8(line.text); }

const char* PluginLog::GetInterfaceName() const { return "IHaldenPluginLog"; }

void PluginLog::WriteLine(const char16_t* tag, const char16_t* line) {
    Record({tag ? tag : u"", u"", line ? line : u""});
}

void PluginLog::LogFormatV(const char16_t* tag, const char16_t* location, const char16_t* format, va_list args) {
    Record({tag ? tag : u"", location ? location : u"", FormatWide(format, args)});
}

void PluginLog::Record(LogLine line) {
    std::shared_ptr<const Sink> sink;
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
        sink = sink_;
    }
    if (sink) (*sink)(line);
}

std::vector<LogLine> PluginLog::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

size_t PluginLog::LineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::optional<LogLine> PluginLog::Line(size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= lines_.size()) return std::nullopt;
    return lines_[index];
}

bool PluginLog::Contains(std::u16string_view fragment) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const LogLine& l) { return l.text.find(fragment) != std::u16string::npos; });
}

void PluginLog::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void PluginLog::SetSink(Sink sink) {
    auto shared = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
    std::lock_guard lock(mutex_);
    sink_ = std::move(shared);
}

void PluginLog::EchoTo(FILE* stream) {
    if (!stream) return SetSink(nullptr);
    SetSink([stream](const LogLine& line) {
        const std::string text = EchoText(line) + "\n";
        // One write per line keeps lines from different threads whole.
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
    });
}

}  // namespace velmora::host
