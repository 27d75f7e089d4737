#include "support/FakePlatform.h"

#include <optional>
#include <regex>
#include <stdexcept>

struct FakePlatform::Route {
    std::string method;
    std::regex pattern;
    Handler handler;
    StreamHandler stream;
};

struct FakePlatform::FaultRule {
    std::string method;
    std::regex pattern;
    Fault fault;
    int left;
};

std::string FakePlatform::Request::header(const std::string& name) const
{
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

bool FakePlatform::Request::hasHeader(const std::string& name) const
{
    return headers.find(name) != headers.end();
}

FakePlatform::Gate::~Gate()
{
    open();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_ == 0; });
}

std::function<void()> FakePlatform::Gate::hold()
{
    return [this] {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        --waiting_;
        changed_.notify_all();
    };
}

void FakePlatform::Gate::open()
{
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

int FakePlatform::Gate::waiting() const
{
    std::lock_guard lock(mutex_);
    return waiting_;
}

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform()
{
    stop();
}

void FakePlatform::start()
{
    if (server_)
        return;
    server_ = std::make_unique<httplib::Server>();
    stopping_ = false;
    auto& svr = *server_;
    svr.set_keep_alive_max_count(keepAlive_);
    // Headers and body go out in separate writes; without this, Nagle's
    // algorithm and the client's delayed ACK add 40 ms to kept-alive answers.
    svr.set_tcp_nodelay(true);
    svr.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { handle("GET", req, res, nullptr); });
    svr.Options(".*",
                [this](const httplib::Request& req, httplib::Response& res) { handle("OPTIONS", req, res, nullptr); });
    // Methods with a body hand it over as a reader, so that a streaming route
    // never holds a big upload in memory.
    for (const char* method : {"POST", "PUT", "PATCH", "DELETE"}) {
        const std::string m = method;
        httplib::Server::HandlerWithContentReader h = [this, m](const httplib::Request& req, httplib::Response& res,
                                                                const httplib::ContentReader& reader) {
            handle(m, req, res, &reader);
        };
        if (m == "POST")
            svr.Post(".*", h);
        else if (m == "PUT")
            svr.Put(".*", h);
        else if (m == "PATCH")
            svr.Patch(".*", h);
        else
            svr.Delete(".*", h);
    }
    if (wantedPort_ > 0)
        port_ = svr.bind_to_port("127.0.0.1", wantedPort_) ? wantedPort_ : -1;
    else
        port_ = svr.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        server_.reset();
        throw std::runtime_error("fake platform: cannot bind 127.0.0.1");
    }
    thread_ = std::thread([&svr] { svr.listen_after_bind(); });
    while (!svr.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakePlatform::stop()
{
    if (!server_)
        return;
    // httplib counts itself running until its handlers are done; a slow reader
    // asks this flag instead.
    stopping_ = true;
    server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

bool FakePlatform::running() const
{
    return server_ && server_->is_running();
}

QString FakePlatform::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

void FakePlatform::route(const std::string& method, const std::string& pattern, Handler handler)
{
    std::lock_guard lock(mutex_);
    routes_.push_back({method, std::regex(pattern), std::move(handler), {}});
}

void FakePlatform::routeStream(const std::string& method, const std::string& pattern, StreamHandler handler)
{
    std::lock_guard lock(mutex_);
    routes_.push_back({method, std::regex(pattern), {}, std::move(handler)});
}

void FakePlatform::fail(const std::string& method, const std::string& pattern, Fault fault, int times)
{
    std::lock_guard lock(mutex_);
    faults_.push_back({method, std::regex(pattern), std::move(fault), times});
}

void FakePlatform::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<FakePlatform::Request> FakePlatform::requests() const
{
    std::lock_guard lock(mutex_);
    return seen_;
}

void FakePlatform::clearRequests()
{
    std::lock_guard lock(mutex_);
    seen_.clear();
}

void FakePlatform::reply(httplib::Response& res, int status, const std::string& json)
{
    res.status = status;
    res.set_content(json, "application/json");
}

void FakePlatform::error(httplib::Response& res, int status, const std::string& message)
{
    std::string escaped;
    for (const char c : message) {
        if (c == '"' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    reply(res, status, "{\"error\":\"" + escaped + "\"}");
}

void FakePlatform::apply(const Fault& fault, httplib::Response& res)
{
    if (fault.drop) {
        // Promise a body, then fail to produce it: the server closes the
        // connection mid-answer and the client sees a transport failure.
        res.set_content_provider(1024, "application/json", [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    reply(res, fault.status, fault.body);
}

void FakePlatform::handle(const std::string& method, const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader* reader)
{
    std::optional<Fault> fault;
    Handler handler;
    StreamHandler stream;
    // httplib filled `matches` for its own catch-all pattern; handlers want the
    // groups of theirs. The request object is httplib's own mutable one.
    auto& request = const_cast<httplib::Request&>(req);
    {
        std::lock_guard lock(mutex_);
        for (auto it = routes_.rbegin(); it != routes_.rend(); ++it) {
            if (it->method == method && std::regex_match(request.path, request.matches, it->pattern)) {
                handler = it->handler;
                stream = it->stream;
                break;
            }
        }
    }
    {
        std::lock_guard lock(mutex_);
        for (auto& rule : faults_) {
            if (rule.left != 0 && rule.method == method && std::regex_match(req.path, rule.pattern)) {
                fault = rule.fault;
                if (rule.left > 0)
                    --rule.left;
                break;
            }
        }
    }
    const bool slowRead = fault && fault->readEvery.count() > 0;
    if (reader && slowRead) {
        (*reader)([&](const char*, size_t) {
            std::this_thread::sleep_for(fault->readEvery);
            return !stopping_;
        });
    } else if (reader && !stream) {
        (*reader)([&request](const char* data, size_t size) {
            request.body.append(data, size);
            return true;
        });
    }
    {
        std::lock_guard lock(mutex_);
        Request seen{method, req.path, {}, req.headers, req.body, req.target};
        const auto q = req.target.find('?');
        if (q != std::string::npos)
            seen.query = req.target.substr(q + 1);
        seen_.push_back(std::move(seen));
    }

    if (fault && fault->hold)
        fault->hold();
    if (fault && fault->delay.count() > 0)
        std::this_thread::sleep_for(fault->delay);
    if (fault && (fault->drop || fault->status != 0 || slowRead))
        apply(*fault, res);
    else if (stream && reader)
        stream(req, res, *reader);
    else if (handler)
        handler(req, res);
    else
        error(res, 404, "no route for " + method + " " + req.path);
    if (fault && fault->sendEvery.count() > 0 && !fault->drop)
        trickle(fault->sendEvery, res);
}

void FakePlatform::trickle(std::chrono::milliseconds every, httplib::Response& res)
{
    const std::string type = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    res.set_content_provider(body->size(), type.c_str(), [body, every](size_t offset, size_t, httplib::DataSink& sink) {
        std::this_thread::sleep_for(every);
        return sink.write(body->data() + offset, 1);
    });
}
