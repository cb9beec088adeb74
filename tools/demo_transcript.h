// The demo's transcript: numbered, aligned steps, each with its lines and a verdict against what
// the scenario expects.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace velmora::demo {

std::string Utf8(std::u16string_view text);
// "0x80070005 (E_ACCESSDENIED)"
std::string HResultText(int32_t hr);

class Transcript {
public:
    explicit Transcript(FILE* out) : out_(out) {}
    void Title(std::string_view text);
    void Step(std::string_view name);    // starts a numbered step
    void Line(std::string_view text);    // a line of the current step
    void Detail(std::string_view text);  // an indented detail line
    // Records whether a step behaved as the scenario says; a mismatch prints why.
    void Check(bool ok, std::string_view what);
    void Verbose(std::string_view text);  // an export call, shown with --verbose
    bool AllAsExpected() const { return mismatches_ == 0; }
    int Mismatches() const { return mismatches_; }

private:
    FILE* out_;
    int step_ = 0;
    bool stepHeaderPending_ = false;
    std::string stepName_;
    int mismatches_ = 0;
    void Print(std::string_view prefix, std::string_view text);
};

}  // namespace velmora::demo
