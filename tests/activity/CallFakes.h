#pragma once

#include "platform/MicUsage.h"
#include "platform/Windows.h"

#include <mutex>
#include <thread>
#include <vector>

// The threads a fake was asked on, in order.
struct AskedOn {
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    void note()
    {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> all()
    {
        std::lock_guard lock(mutex);
        return threads;
    }
};

// Stand-ins for the sound server and the window list, set by the test.
struct FakeMic final : MicUsage {
    std::optional<bool> running = false;
    std::optional<std::vector<Proc>> procs = std::vector<Proc>{};
    int asked = 0;
    AskedOn on;

    std::optional<quint32> defaultInputDevice() override { return 0; }
    std::optional<bool> inputRunningSomewhere() override
    {
        ++asked;
        on.note();
        return running;
    }
    std::optional<std::vector<Proc>> processesUsingInput() override
    {
        ++asked;
        on.note();
        return procs;
    }
};

struct FakeWindows final : Windows {
    std::vector<Win> wins;
    std::optional<App> front;
    std::vector<App> apps;
    int listed = 0;
    AskedOn on;

    std::vector<Win> list() override
    {
        ++listed;
        on.note();
        return wins;
    }
    std::optional<App> frontApp() override { return front; }
    std::vector<App> runningApps() override { return apps; }
};
