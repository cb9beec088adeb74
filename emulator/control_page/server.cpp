// The control page's HTTP server: cpp-httplib (docs/control-page.md says why) on 127.0.0.1, a
// random access token checked before anything else is read, a budget of requests per second, the
// page's files built into the library, and the JSON routes of routes.cpp behind one dispatcher that
// tells an unknown route (404) from a wrong method (405).
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "emulator/control_page/access_token.h"
#include "emulator/control_page/control_page.h"
#include "emulator/control_page/page_files.h"
#include "emulator/control_page/routes.h"

namespace velmora::emu {
namespace {

using namespace control_page;
using Status = httplib::Server::HandlerResponse;

constexpr char kHost[] = "127.0.0.1";
constexpr size_t kMaxRequestBytes = size_t{1} << 20;
constexpr int kRequestsPerSecond = 200;
// Enough for the page's polls and a test's clients; a flood waits in the queue or meets the budget.
constexpr size_t kServerThreads = 4;
constexpr std::string_view kTokenCookie = "velmora_control";

// At most kRequestsPerSecond requests in each second; the rest are answered 429 at once, before
// their token is checked or their body read.
class RequestBudget {
public:
    bool Admit() {
        std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart_ >= std::chrono::seconds(1)) {
            windowStart_ = now;
            admitted_ = 0;
        }
        return admitted_++ < kRequestsPerSecond;
    }

private:
    std::mutex mutex_;
    std::chrono::steady_clock::time_point windowStart_{};
    int admitted_ = 0;
};

struct Page {
    httplib::Server server;
    std::thread listener;
    std::atomic<bool> listenerDone{false};
    std::string token;
    std::string address;
    RequestBudget budget;
};

std::mutex lifeMutex;          // held through a whole start or stop
Page* running = nullptr;       // guarded by lifeMutex
std::thread environmentStart;  // the start the environment variable asked for, joined at exit

void Answer(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json; charset=utf-8");
}

void Refuse(httplib::Response& res, int status, const std::string& message) {
    Answer(res, status, Json{{"error", message}});
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// The token the request carries: "?token=", "Authorization: Bearer", or the page's cookie.
std::string GivenToken(const httplib::Request& req) {
    if (req.has_param("token")) return req.get_param_value("token");
    const std::string auth = req.get_header_value("Authorization");
    if (auth.starts_with("Bearer ")) return std::string(Trim(std::string_view(auth).substr(7)));
    const std::string cookies = req.get_header_value("Cookie");
    std::string_view rest = cookies;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        const std::string_view pair = Trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (pair.starts_with(kTokenCookie) && pair.size() > kTokenCookie.size() && pair[kTokenCookie.size()] == '=')
            return std::string(pair.substr(kTokenCookie.size() + 1));
    }
    return {};
}

Status Screen(Page& page, const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
                   "frame-ancestors 'none'; form-action 'none'; base-uri 'none'");
    if (!page.budget.Admit()) {
        res.set_header("Retry-After", "1");
        Refuse(
            res, 429,
            "more than " + std::to_string(kRequestsPerSecond) + " requests in one second; wait a second and try again");
        return Status::Handled;
    }
    if (!SameToken(GivenToken(req), page.token)) {
        Refuse(res, 401,
               "the control page needs its access token: open the address the emulator printed "
               "(http://127.0.0.1:<port>/?token=...), or send the header \"Authorization: Bearer <token>\"");
        return Status::Handled;
    }
    if (req.has_param("token"))  // the page's own files and requests then carry it without the address
        res.set_header("Set-Cookie",
                       std::string(kTokenCookie) + "=" + page.token + "; HttpOnly; SameSite=Strict; Path=/");
    return Status::Unhandled;
}

const PageFile* FindPageFile(const std::string& path) {
    const std::string_view name = path == "/" ? std::string_view("/index.html") : std::string_view(path);
    for (const PageFile& f : PageFiles())
        if (name == f.name) return &f;
    return nullptr;
}

std::string AllowedMethods(const std::string& path) {
    std::string allowed;
    for (const Route& r : Routes())
        if (r.path == path) allowed += (allowed.empty() ? "" : ", ") + std::string(r.method);
    if (FindPageFile(path)) allowed = "GET, HEAD";
    return allowed;
}

void Dispatch(const httplib::Request& req, httplib::Response& res) {
    const std::string method = req.method == "HEAD" ? "GET" : req.method;
    for (const Route& route : Routes()) {
        if (route.path != req.path || route.method != method) continue;
        const std::string type = req.get_header_value("Content-Type");
        if (!req.body.empty() && !type.starts_with("application/json")) {
            Refuse(res, 415, "a body must be JSON, sent with \"Content-Type: application/json\"");
            return;
        }
        try {
            RouteRequest request{req.body, {req.params.begin(), req.params.end()}};
            request.query.erase("token");
            const RouteAnswer answer = route.handle(request);
            Answer(res, answer.status, answer.body);
        } catch (const RouteError& e) {
            Refuse(res, e.status, e.message);
        } catch (const std::exception& e) {
            Refuse(res, 500, std::string("the emulator failed: ") + e.what());
        }
        return;
    }
    // The page's files are found by exact name in the library, never on disk: a path with "..",
    // "%2e" or "//" in it names no file.
    if (const PageFile* file = FindPageFile(req.path); file && method == "GET") {
        res.status = 200;
        res.set_content(std::string(file->bytes), std::string(file->contentType));
        return;
    }
    if (const std::string allowed = AllowedMethods(req.path); !allowed.empty()) {
        res.set_header("Allow", allowed);
        Refuse(res, 405, req.method + " is not a method of " + req.path + "; it takes " + allowed);
        return;
    }
    Refuse(res, 404,
           "nothing at " + req.path + "; the page is at / and the JSON routes are listed in docs/control-page.md");
}

// Bodies for the refusals the library makes itself (a body too large, a request it cannot read).
Status LibraryRefusal(const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return Status::Unhandled;
    if (res.status == 413)
        Refuse(res, 413, "the request is larger than " + std::to_string(kMaxRequestBytes) + " bytes");
    else
        Refuse(res, res.status, std::string("the request was refused: ") + httplib::detail::status_message(res.status));
    return Status::Handled;
}

void Configure(Page& page) {
    httplib::Server& s = page.server;
    s.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    s.set_payload_max_length(kMaxRequestBytes);
    // A stop waits for idle kept-alive connections up to this long, and for slow readers this long.
    s.set_keep_alive_timeout(1);
    s.set_read_timeout(5, 0);
    s.set_write_timeout(5, 0);
    // No other socket may share the page's port (the library's default would allow SO_REUSEPORT);
    // a restart may still bind it while old connections linger.
    s.set_socket_options([](socket_t sock) {
        int yes = 1;
#if defined(_WIN32)
        setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
#else
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    });
    s.set_pre_routing_handler(
        [&page](const httplib::Request& req, httplib::Response& res) { return Screen(page, req, res); });
    s.set_error_handler(httplib::Server::HandlerWithResponse(LibraryRefusal));
    for (auto add : {&httplib::Server::Get, &httplib::Server::Post, &httplib::Server::Put, &httplib::Server::Delete,
                     &httplib::Server::Patch, &httplib::Server::Options})
        (s.*add)(".*", Dispatch);
}

void StopAtExit() {
    if (environmentStart.joinable()) environmentStart.join();
    StopControlPage();
}

void StopAtExitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(StopAtExit); });
}

// The variable is read when the emulator loads; the page starts on a thread of its own, as the
// system's loader may hold its lock while a library's static objects are made.
const bool startsFromEnvironment = [] {
    const char* value = std::getenv(kControlPortVariable);
    if (!value || !*value) return false;
    StopAtExitOnce();
    environmentStart = std::thread([text = std::string(value)] {
        char* end = nullptr;
        const long port = std::strtol(text.c_str(), &end, 10);
        if (*end != '\0' || port < 0 || port > 65535) {
            std::fprintf(stderr, "velmora emulator: %s=\"%s\" is not a port (0 to 65535); the control page is off\n",
                         kControlPortVariable, text.c_str());
            return;
        }
        try {
            StartControlPage(int(port));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "velmora emulator: the control page did not start: %s\n", e.what());
        }
    });
    return true;
}();

}  // namespace

std::string StartControlPage(int port) {
    if (port < 0 || port > 65535)
        throw std::invalid_argument("port " + std::to_string(port) + " is outside 0 to 65535 (0: any free port)");
    std::lock_guard lock(lifeMutex);
    if (running) throw std::runtime_error("the control page runs already at " + running->address + "; stop it first");
    auto page = std::make_unique<Page>();
    page->token = NewAccessToken();
    Configure(*page);
    const int bound =
        port == 0 ? page->server.bind_to_any_port(kHost) : (page->server.bind_to_port(kHost, port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot listen on " + std::string(kHost) + ":" + std::to_string(port) +
                                 " (in use by another program?)");
    page->address = "http://" + std::string(kHost) + ":" + std::to_string(bound) + "/?token=" + page->token;
    Page* p = page.get();
    p->listener = std::thread([p] {
        p->server.listen_after_bind();
        p->listenerDone = true;
    });
    // A stop before the server runs would not reach it.
    while (!p->server.is_running() && !p->listenerDone) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!p->server.is_running()) {
        p->listener.join();
        throw std::runtime_error("the server on " + std::string(kHost) + ":" + std::to_string(bound) +
                                 " did not start");
    }
    StopAtExitOnce();
    running = page.release();
    std::fprintf(stderr, "velmora emulator: control page at %s\n", running->address.c_str());
    std::fflush(stderr);
    return running->address;
}

std::string ControlPageAddress() {
    std::lock_guard lock(lifeMutex);
    return running ? running->address : std::string();
}

void StopControlPage() {
    std::lock_guard lock(lifeMutex);
    std::unique_ptr<Page> page(running);
    running = nullptr;
    if (!page) return;
    page->server.stop();
    page->listener.join();
}

}  // namespace velmora::emu
