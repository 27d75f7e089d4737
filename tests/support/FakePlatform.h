#pragma once

#include <httplib.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The team's web platform as the tests see it: an HTTP server in this process on
// 127.0.0.1 with a port of the system's choosing. Tests register the routes they
// need, can make a given request fail, and read back every request it saw.
class FakePlatform {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Reads the request body piece by piece instead of holding it in memory.
    using StreamHandler = std::function<void(const httplib::Request&, httplib::Response&, const httplib::ContentReader&)>;

    struct Request {
        std::string method;
        std::string path;  // decoded, without the query
        std::string query; // as sent, without "?"
        httplib::Headers headers;
        std::string body;
        std::string target; // path and query exactly as sent, still percent-encoded

        // The first value of a header (names are case-insensitive), or "".
        std::string header(const std::string& name) const;
        bool hasHeader(const std::string& name) const;
    };

    // What a failing request gets: after `delay`, either the connection is cut
    // (`drop`) or the answer is `status` with `body`. A fault with neither only
    // delays, then the route answers as usual.
    // A slow server: with `readEvery`, the request body is read one piece (at
    // most 4 KB) at a time with that pause before each, until it ends or the
    // client gives up, and the answer is the fault's `status`; with `sendEvery`,
    // the answer's body goes out one byte at a time with that pause before each.
    struct Fault {
        int status = 0;
        std::string body;
        std::chrono::milliseconds delay{0};
        bool drop = false;
        std::chrono::milliseconds readEvery{0};
        std::chrono::milliseconds sendEvery{0};
        // Runs on the server's thread once the request is seen, before the
        // delay: a test holds the request there until it lets go.
        std::function<void()> hold;
    };

    // Requests held until the test lets go: a fault's `hold` or a route waits on
    // it. Opens when it goes, and waits for the requests it held to leave.
    class Gate {
    public:
        ~Gate();
        std::function<void()> hold();
        void open();
        // Requests held right now.
        int waiting() const;

    private:
        mutable std::mutex mutex_;
        std::condition_variable changed_;
        bool open_ = false;
        int waiting_ = 0;
    };

    FakePlatform();
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // Requests one connection may carry before the server closes it; 1 (the
    // default) closes after every answer, so that stop() never waits for an idle
    // client connection. Takes effect at the next start().
    void setKeepAlive(size_t maxRequests) { keepAlive_ = maxRequests; }
    // A fixed port for the next start(); 0 (the default) lets the system choose.
    void setPort(int port) { wantedPort_ = port; }

    void start();
    void stop();
    bool running() const;
    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    QString base() const;

    // `pattern` is a regular expression matched against the whole decoded path.
    // A later route for the same path takes precedence over an earlier one.
    void route(const std::string& method, const std::string& pattern, Handler handler);
    // A route for big bodies (uploads): the body is left to the handler's reader
    // and is not kept in the request log.
    void routeStream(const std::string& method, const std::string& pattern, StreamHandler handler);

    // The next `times` requests matching method and path get the fault (times < 0: all).
    void fail(const std::string& method, const std::string& pattern, Fault fault, int times = 1);
    void clearFaults();

    std::vector<Request> requests() const;
    void clearRequests();

    // Helpers for handlers.
    static void reply(httplib::Response& res, int status, const std::string& json);
    static void error(httplib::Response& res, int status, const std::string& message);

private:
    struct Route;
    struct FaultRule;
    void handle(const std::string& method, const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader* reader);
    static void apply(const Fault& fault, httplib::Response& res);
    static void trickle(std::chrono::milliseconds every, httplib::Response& res);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    size_t keepAlive_ = 1;
    int wantedPort_ = 0;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::vector<Route> routes_;
    std::vector<FaultRule> faults_;
    std::vector<Request> seen_;
};
