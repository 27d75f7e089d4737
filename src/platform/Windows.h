#pragma once

#include <QString>
#include <optional>
#include <vector>

// The desktop's application windows and the applications that own them.
// Callable from any thread; no display gives empty answers.
class Windows {
public:
    // One on-screen application window.
    struct Win {
        qint32 pid = 0;
        QString owner; // the application's name; empty when unknown
        QString title; // empty when the window has none
        bool operator==(const Win&) const = default;
    };
    // A running application with windows of its own.
    struct App {
        qint32 pid = 0;
        QString id;   // desktop-entry or Flatpak id, else the executable's name
        QString name; // the name a user knows it by
        bool operator==(const App&) const = default;
    };

    virtual ~Windows() = default;

    // Normal windows that are shown (not minimised, not on another desktop), front to back.
    virtual std::vector<Win> list() = 0;
    // The application of the active window; nullopt when no window is active.
    virtual std::optional<App> frontApp() = 0;
    // Every application with a normal window, minimised ones included, in the
    // order their first windows appeared; one entry per process.
    virtual std::vector<App> runningApps() = 0;

    // The first non-empty title among the process's windows, front to back.
    std::optional<QString> frontTitle(qint32 pid);
    static std::optional<QString> frontTitle(const std::vector<Win>& windows, qint32 pid);

    // The windows of the desktop's X display.
    static Windows& system();
};
