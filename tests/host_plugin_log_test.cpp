// The host's plugin log: the wide printf formatter, recording from many threads, and the echo.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/plugin_log.h"
#include "host/text_encoding.h"
#include "tests/emulator_fixture.h"

namespace velmora::host {
namespace {

using PluginLogTest = test::EmulatorTest;

// Formats through the log's own va_list entry point, as the plugin calls it.
std::u16string LogFormatted(PluginLog& log, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    log.LogFormatV(u"Tag", u"Location", format, args);
    va_end(args);
    return log.Lines().back().text;
}

struct FormatCase {
    const char* name;
    const char16_t* format;
    std::function<std::u16string(PluginLog&, const char16_t*)> run;
    const char16_t* expected;
};

template <class... A>
auto With(A... args) {
    return [=](PluginLog& log, const char16_t* format) { return LogFormatted(log, format, args...); };
}

const char16_t kUnterminated[2] = {u'o', u'k'};
// How a pointer prints is the C library's choice ("0x1234" on Linux, "0000000000001234" on
// Windows); the log follows it.
const std::u16string kPointerText = [] {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%p", reinterpret_cast<void*>(0x1234));
    return std::u16string(text, text + n);
}();
int untouched = 5;

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

class FormatTest : public PluginLogTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, FormatsLikeWidePrintf) {
    PluginLog log;
    EXPECT_EQ(Utf16ToUtf8(GetParam().run(log, GetParam().format)), Utf16ToUtf8(GetParam().expected));
    const LogLine line = log.Lines().back();
    EXPECT_EQ(line.tag, u"Tag");
    EXPECT_EQ(line.location, u"Location");
}

const FormatCase kFormatCases[] = {
    {"PlainText", u"no conversions", With(), u"no conversions"},
    {"Percent", u"100%%", With(), u"100%"},
    {"Decimal", u"%d|%i", With(42, -7), u"42|-7"},
    {"WidthAndFlags", u"%5d|%-5d|%05d|%+d|% d", With(42, 42, 42, 5, 5), u"   42|42   |00042|+5| 5"},
    {"StarWidth", u"%*d|%-*d|", With(6, 42, 4, 7), u"    42|7   |"},
    {"NegativeStarWidthLeftAligns", u"%*d|", With(-4, 7), u"7   |"},
    {"Unsigned", u"%u", With(4294967295u), u"4294967295"},
    {"Hex", u"%x %X %#x %08X", With(255u, 255u, 255u, 0xBEEFu), u"ff FF 0xff 0000BEEF"},
    {"Octal", u"%o", With(8u), u"10"},
    // long is 64 bits on Linux and 32 on Windows; the values fit both, the unsigned one only unsigned.
    {"Long", u"%ld|%lu", With(-123456789L, 3123456789UL), u"-123456789|3123456789"},
    {"LongLong", u"%lld|%llu", With(LLONG_MIN, ULLONG_MAX), u"-9223372036854775808|18446744073709551615"},
    {"Size", u"%zu", With(size_t(123456789012)), u"123456789012"},
    {"I64", u"%I64d", With(int64_t(-5000000000)), u"-5000000000"},
    {"Narrowed", u"%hd|%hhu", With(70000, 300), u"4464|44"},
    {"IntegerPrecision", u"%.4d", With(7), u"0007"},
    {"WideString", u"[%s] [%ls]", With(u"héllo", u"wörld"), u"[héllo] [wörld]"},
    {"StringWidth", u"%10s|%-6s|", With(u"abc", u"de"), u"       abc|de    |"},
    {"StringPrecision", u"%.3s|%.*s", With(u"abcdef", 2, u"xyz"), u"abc|xy"},
    {"PrecisionStopsReading", u"%.2s", With(kUnterminated), u"ok"},
    {"NullString", u"%s", With(static_cast<const char16_t*>(nullptr)), u"(null)"},
    {"SurrogatePair", u"%s!", With(u"\U0001F600"), u"\U0001F600!"},
    {"NarrowStrings", u"%hs|%S", With("utf8 \xC3\xBC", "narrow"), u"utf8 ü|narrow"},
    {"Characters", u"%c%c|%3c", With(int(u'A'), int(u'é'), int(u'x')), u"Aé|  x"},
    {"Pointer", u"%p", With(reinterpret_cast<void*>(0x1234)), kPointerText.c_str()},
    {"Floating", u"%.2f|%e|%g", With(3.14159, 1500.0, 0.5), u"3.14|1.500000e+03|0.5"},
    {"WritesNothingThroughN", u"a%nb", With(&untouched), u"ab"},
    {"UnknownConversionKept", u"%y|%", With(), u"%y|%"},
};

INSTANTIATE_TEST_SUITE_P(Conversions, FormatTest, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The sink runs outside the log's lock: it may read the log.
TEST_F(PluginLogTest, WriteLineRecordsAndNullTextsReadAsEmpty) {
    PluginLog log;
    std::vector<size_t> countsSeen;
    log.SetSink([&](const LogLine&) { countsSeen.push_back(log.LineCount()); });
    log.WriteLine(u"Store", u"purchase started");
    log.WriteLine(nullptr, nullptr);
    log.LogFormatV(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(log.LineCount(), 3u);
    EXPECT_EQ(log.Lines()[0], (LogLine{u"Store", u"", u"purchase started"}));
    EXPECT_EQ(log.Lines()[1], (LogLine{}));
    EXPECT_EQ(log.Lines()[2], (LogLine{}));
    EXPECT_TRUE(log.Contains(u"purchase"));
    EXPECT_FALSE(log.Line(3).has_value());
    EXPECT_EQ(countsSeen, (std::vector<size_t>{1, 2, 3}));
}

TEST_F(PluginLogTest, LinesFromManyThreadsAreAllKeptInEachThreadsOrder) {
    constexpr int kThreads = 8;
    constexpr int kLines = 500;
    PluginLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i) LogFormatted(log, u"%d:%d", t, i);
        });
    }
    for (auto& th : threads) th.join();

    ASSERT_EQ(log.LineCount(), size_t(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const LogLine& line : log.Lines()) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(Utf16ToUtf8(line.text).c_str(), "%d:%d", &t, &i), 2);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(i, next[size_t(t)]++);
    }
}

TEST_F(PluginLogTest, EchoPrintsTagAndTextAsUtf8) {
    PluginLog log;
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    log.EchoTo(stream);
    log.WriteLine(u"DLC", u"mounted \u00e9");
    LogFormatted(log, u"%d items", 3);
    log.EchoTo(nullptr);
    log.WriteLine(u"DLC", u"not echoed");

    std::rewind(stream);
    char buffer[256] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(buffer, n), "[DLC] mounted \xC3\xA9\n[Tag] 3 items\n");
}

using TextEncodingTest = test::EmulatorTest;

TEST_F(TextEncodingTest, RoundTripsAndReplacesBrokenSequences) {
    const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), u"\uFFFD") << "an overlong form is one broken sequence";
}

}  // namespace
}  // namespace velmora::host
