#include "session/CapturePause.h"

#include "core/Clock.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Pauses further back than this no longer matter: frames reach the recorder
// within seconds of their grab.
constexpr double kept = 300;

struct State {
    std::mutex mutex;
    int depth = 0;
    double since = 0;
    std::vector<std::pair<double, double>> past; // [start, end] of ended pauses
};

State& state()
{
    static State s;
    return s;
}

} // namespace

namespace CapturePause {

void begin()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.depth++ == 0)
        s.since = Clock::current().uptime();
}

void end()
{
    State& s = state();
    const double now = Clock::current().uptime();
    std::lock_guard lock(s.mutex);
    if (s.depth == 0 || --s.depth > 0)
        return;
    std::erase_if(s.past, [now](const auto& p) { return p.second < now - kept; });
    s.past.emplace_back(s.since, now);
}

bool covers(double hostTime)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.depth > 0)
        return true;
    return std::any_of(s.past.begin(), s.past.end(),
                       [hostTime](const auto& p) { return hostTime >= p.first && hostTime <= p.second + settle; });
}

} // namespace CapturePause
