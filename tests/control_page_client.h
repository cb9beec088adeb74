// An HTTP client for the control page's tests, over cpp-httplib's, in a file of its own: on Windows
// the library brings in <windows.h>, whose macros (S_OK, E_FAIL, ...) the platform's own
// declarations must not meet.
#pragma once

#include <map>
#include <memory>
#include <string>

namespace velmora::test {

struct HttpAnswer {
    bool reached = false;  // false: no connection, or no answer
    int status = 0;
    std::string body;
    std::multimap<std::string, std::string> headers;
    std::string Header(const std::string& name) const;  // the first value, or ""
    explicit operator bool() const { return reached; }
};

class PageClient {
public:
    // A client of 127.0.0.1 (or `host`) at the port; with a token, each request carries it as
    // "Authorization: Bearer".
    PageClient(int port, const std::string& token = "", const std::string& host = "127.0.0.1");
    ~PageClient();
    HttpAnswer Get(const std::string& path, const std::map<std::string, std::string>& headers = {});
    HttpAnswer Send(const std::string& method, const std::string& path, const std::string& body = "",
                    const std::string& type = "application/json");

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A socket listening on 127.0.0.1 at the port, as another program's would, while it lives.
class PortHolder {
public:
    explicit PortHolder(int port);
    ~PortHolder();
    bool Holding() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora::test
