#pragma once

#include "platform/MicUsage.h"
#include "platform/Windows.h"

// Stand-ins for the sound server and the window list, set by the test.
struct FakeMic final : MicUsage {
    std::optional<bool> running = false;
    std::optional<std::vector<Proc>> procs = std::vector<Proc>{};
    int asked = 0;

    std::optional<quint32> defaultInputDevice() override { return 0; }
    std::optional<bool> inputRunningSomewhere() override
    {
        ++asked;
        return running;
    }
    std::optional<std::vector<Proc>> processesUsingInput() override
    {
        ++asked;
        return procs;
    }
};

struct FakeWindows final : Windows {
    std::vector<Win> wins;
    std::optional<App> front;
    std::vector<App> apps;
    int listed = 0;

    std::vector<Win> list() override
    {
        ++listed;
        return wins;
    }
    std::optional<App> frontApp() override { return front; }
    std::vector<App> runningApps() override { return apps; }
};
