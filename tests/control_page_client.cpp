// The control page tests' HTTP client (control_page_client.h).
#include "tests/control_page_client.h"

#include <httplib.h>

namespace velmora::test {

std::string HttpAnswer::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

struct PageClient::Impl {
    Impl(const std::string& host, int port) : client(host, port) {}
    httplib::Client client;
};

PageClient::PageClient(int port, const std::string& token, const std::string& host)
    : impl_(std::make_unique<Impl>(host, port)) {
    impl_->client.set_connection_timeout(2, 0);
    impl_->client.set_read_timeout(10, 0);
    if (!token.empty()) impl_->client.set_bearer_token_auth(token.c_str());
}

PageClient::~PageClient() = default;

namespace {
HttpAnswer From(const httplib::Result& res) {
    HttpAnswer answer;
    if (!res) return answer;
    answer.reached = true;
    answer.status = res->status;
    answer.body = res->body;
    for (const auto& [name, value] : res->headers) answer.headers.emplace(name, value);
    return answer;
}
}  // namespace

HttpAnswer PageClient::Get(const std::string& path, const std::map<std::string, std::string>& headers) {
    httplib::Headers h(headers.begin(), headers.end());
    return From(impl_->client.Get(path.c_str(), h));
}

HttpAnswer PageClient::Send(const std::string& method, const std::string& path, const std::string& body,
                            const std::string& type) {
    auto& c = impl_->client;
    if (method == "POST") return From(c.Post(path.c_str(), body, type.c_str()));
    if (method == "PUT") return From(c.Put(path.c_str(), body, type.c_str()));
    if (method == "DELETE") return From(c.Delete(path.c_str()));
    return From(c.Get(path.c_str()));
}

struct PortHolder::Impl {
    httplib::Server server;
    bool holding = false;
};

PortHolder::PortHolder(int port) : impl_(std::make_unique<Impl>()) {
    impl_->holding = impl_->server.bind_to_port("127.0.0.1", port);
}
PortHolder::~PortHolder() = default;
bool PortHolder::Holding() const { return impl_->holding; }

}  // namespace velmora::test
