#pragma once

#include "support/FakePlatform.h"
#include "support/WorkspaceServer.h"

#include <QJsonObject>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The team's web platform on a FakePlatform: the device sign-in, the account
// answer ("/api/v1/me", or the app paths of a development server) and a
// workspace server under every project root and the Personal root, all keyed by
// one account key. A wrong key gets 401. GET "/__test/calls" lists every call it
// holds with what it received (WorkspaceServer::record).
class FakeWebPlatform {
public:
    // How the person at the browser answers a sign-in.
    enum class Approval {
        approve,     // at the first poll
        deny,        // at the first poll
        expire,      // the codes expire at the first poll
        slowApprove, // after `slowPolls` pending answers
        hold,        // pending until approve()
    };

    struct Project {
        std::string slug;
        std::string name;
        std::string seat = "member";
    };

    struct Options {
        // A development server: device and account only on "/app/api/platform/…",
        // project roots "/app/p/<slug>/api".
        bool appPaths = false;
        Approval approval = Approval::approve;
        int slowPolls = 2;
        QJsonObject startExtra; // merged into the start answer (interval, expires_in, verify_url …)
        std::string key = "zv_test_account_key";
        std::string email = "ada@example.com";
        std::string name = "Ada Lovelace";
        std::vector<Project> projects = {{"bramel", "Bramel", "owner"}, {"tovarind", "Tovarind", "member"}};
        std::optional<std::string> callsURL; // the answer's personal "calls_url"; default: the Personal root's
        // A big account: this many more projects ("more-1" …) listed after
        // `projects`, which answer the score, to-dos and "me" from one route each.
        int moreProjects = 0;
    };

    static constexpr const char* userCode = "ABCD-1234";

    explicit FakeWebPlatform(FakePlatform& platform);
    FakeWebPlatform(FakePlatform& platform, Options options);

    void approve();
    int polls() const;

    const Options& options() const { return state_->options; }
    WorkspaceServer& project(const std::string& slug) { return *projects_.at(slug); }
    WorkspaceServer& personal() { return *personal_; }

private:
    // Shared with the routes, which outlive this object on the FakePlatform: a
    // sign-in still polling after a test let go of its FakeWebPlatform is answered
    // from here.
    struct State {
        Options options;
        std::mutex mutex;
        std::map<std::string, int> pollsPerCode;
        bool approved = false; // hold: approve() was called
        int polls = 0;
        int nextCode = 1;
    };
    void serveDevice(const std::string& prefix);
    void serveMe(const std::string& path);
    void serveMore(const std::string& rootPattern);

    FakePlatform& platform_;
    std::shared_ptr<State> state_;
    std::map<std::string, std::unique_ptr<WorkspaceServer>> projects_;
    std::unique_ptr<WorkspaceServer> personal_;
};
