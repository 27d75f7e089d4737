#pragma once

#include "platform/Windows.h"
#include "platform/linux/AppIdentity.h"
#include "platform/linux/XDisplay.h"

#include <memory>
#include <mutex>

// Windows on an X display through EWMH: the window manager's client lists and
// active window, each window's _NET_WM_PID, names and WM_CLASS. Without a window
// manager the root's children stand in for its lists. The connection is kept and
// opened again when it breaks.
class XWindows final : public Windows {
public:
    // An empty name means $DISPLAY.
    explicit XWindows(const QString& display = {});
    ~XWindows() override;

    std::vector<Win> list() override;
    std::optional<App> frontApp() override;
    std::vector<App> runningApps() override;

    struct Atoms;
    struct Info;

private:
    // With mutex_ held; nullptr when there is no display.
    XDisplay* display();
    std::vector<xcb_window_t> windowList(xcb_atom_t property, bool* managed);
    std::vector<Info> describe(const std::vector<xcb_window_t>& windows);
    App appOf(const Info& info);

    const QString name_;
    std::mutex mutex_;
    std::unique_ptr<XDisplay> display_;
    std::unique_ptr<Atoms> atoms_;
    AppIdentity identity_;
};
