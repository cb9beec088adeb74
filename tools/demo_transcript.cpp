#include "tools/demo_transcript.h"

#include <cstdio>

#include "emulator/runtime/strings.h"

namespace velmora::demo {

std::string Utf8(std::u16string_view text) { return emu::ToUtf8(text); }

std::string HResultText(int32_t hr) {
    struct Name {
        uint32_t code;
        const char* name;
    };
    static constexpr Name names[] = {
        {0x00000000, "S_OK"},
        {0x80070005, "E_ACCESSDENIED"},
        {0x80070057, "E_INVALIDARG"},
        {0x8000000B, "E_BOUNDS"},
        {0x80004005, "E_FAIL"},
        {0x80004004, "E_ABORT"},
        {0x80040154, "REGDB_E_CLASSNOTREG"},
        {0x8007000E, "E_OUTOFMEMORY"},
        {0x80070490, "E_NOT_FOUND"},
        {0x800704C7, "ERROR_CANCELLED"},
        {0x80190199, "balance too low"},
        {0x87E10BC6, "package not licensed"},
        {0x803F6107, "offer not available"},
    };
    char text[64];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(hr));
    for (const Name& n : names)
        if (n.code == static_cast<uint32_t>(hr)) return std::string(text) + " (" + n.name + ")";
    return text;
}

void Transcript::Title(std::string_view text) { std::fprintf(out_, "%.*s\n\n", int(text.size()), text.data()); }

void Transcript::Step(std::string_view name) {
    ++step_;
    stepName_ = name;
    stepHeaderPending_ = true;
}

void Transcript::Print(std::string_view prefix, std::string_view text) {
    char head[32];
    if (stepHeaderPending_) {
        std::snprintf(head, sizeof head, "%2d %-11s", step_, stepName_.c_str());
        stepHeaderPending_ = false;
    } else {
        std::snprintf(head, sizeof head, "%14s", "");
    }
    std::fprintf(out_, "%s %.*s%.*s\n", head, int(prefix.size()), prefix.data(), int(text.size()), text.data());
    std::fflush(out_);
}

void Transcript::Line(std::string_view text) { Print("", text); }
void Transcript::Detail(std::string_view text) { Print("  ", text); }
void Transcript::Verbose(std::string_view text) { Print("  > ", text); }

void Transcript::Check(bool ok, std::string_view what) {
    if (ok) return;
    ++mismatches_;
    Print("!! ", std::string("not as the scenario says: ") + std::string(what));
}

}  // namespace velmora::demo
