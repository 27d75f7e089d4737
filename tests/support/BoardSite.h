#pragma once

#include "support/FakePlatform.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The platform's web board on a FakePlatform: the app-session exchange, the
// one-time link that sets the "zv_sess" cookie, board pages that need that
// cookie (else "/signin?next=…"), the sign-in page, the sign-out endpoint and
// attachment downloads under "/files/<name>".
class BoardSite {
public:
    enum class Exchange { ok, notYet, refused };

    struct Options {
        std::string key = "zv_test_account_key";
        Exchange exchange = Exchange::ok;
        std::string background = "rgb(240, 242, 245)";
    };

    explicit BoardSite(FakePlatform& platform);
    BoardSite(FakePlatform& platform, Options options);

    // Session cookie values handed out and not signed out.
    std::set<std::string> liveSessions() const;
    // The "zv_sess" values that reached "/auth/signout".
    std::vector<std::string> signouts() const;
    int exchanges() const;

private:
    struct State {
        Options options;
        mutable std::mutex mutex;
        std::map<std::string, std::string> tokens; // one-time token -> next
        std::set<std::string> sessions;
        std::vector<std::string> signouts;
        int exchanges = 0;
        int next = 1;
    };
    FakePlatform& platform_;
    std::shared_ptr<State> state_;
};
