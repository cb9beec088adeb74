// The control page's JSON interface, route by route, apart from HTTP: what each route reads and
// answers (docs/control-page.md). Every action calls the emulator's C interface, so the page can do
// nothing a test could not, and its refusals carry the C interface's messages.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace velmora::emu::control_page {

using Json = nlohmann::ordered_json;

// A refusal: the HTTP status and a message that names what was wrong and what to do.
struct RouteError {
    int status = 400;
    std::string message;
};

struct RouteRequest {
    std::string_view body;                          // as received; Routes read JSON with BodyJson
    std::multimap<std::string, std::string> query;  // decoded query parameters
};

struct RouteAnswer {
    int status = 200;
    Json body;
};

struct Route {
    std::string_view method;  // "GET", "POST", "DELETE"
    std::string_view path;    // matched exactly
    RouteAnswer (*handle)(const RouteRequest& request);
};

// Every route of the JSON interface.
std::span<const Route> Routes();

// The body as a JSON object; RouteError 400 for anything else (with the parser's message) or for a
// document nested deeper than kMaxBodyDepth.
inline constexpr size_t kMaxBodyDepth = 64;
Json BodyJson(std::string_view body);

}  // namespace velmora::emu::control_page
