#pragma once

#include <QString>
#include <optional>
#include <vector>

// Who is using sound input right now. Every call asks the sound server afresh and
// waits only briefly; an answer that cannot be had is nullopt ("cannot tell"),
// never false. Callable from any thread.
class MicUsage {
public:
    // One process with a running capture.
    struct Proc {
        qint32 pid = 0;   // 0 when the server does not know it
        QString bundleID; // the application id; empty when unknown
        bool operator==(const Proc&) const = default;
    };

    virtual ~MicUsage() = default;

    // The default input device; nullopt when there is none, or when it only
    // monitors an output.
    virtual std::optional<quint32> defaultInputDevice() = 0;
    // The default input device is capturing for somebody; false without one.
    virtual std::optional<bool> inputRunningSomewhere() = 0;
    // The processes capturing from an input (not from an output's monitor), in
    // the server's order.
    virtual std::optional<std::vector<Proc>> processesUsingInput() = 0;

    // Somebody other than this process and this application captures input.
    std::optional<bool> othersUsingInput();
    // The same rule over a given list: a process is another user unless it has our
    // pid or carries our application id; with no id of our own any other pid is.
    static std::optional<bool> othersAmong(const std::optional<std::vector<Proc>>& procs, qint32 ownPid,
                                           const QString& ownId);

    // The desktop's sound server.
    static MicUsage& system();
    // The same server with a longer wait, for checks off the main thread where a
    // busy machine must not turn a slow answer into "no microphone".
    static MicUsage& patient();
};
