#pragma once

#include "core/FeedItem.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <optional>
#include <vector>

// The recording panel's state: layout, session start, the feed of what was
// just noticed (newest first) and the microphone, hearing and listening flags,
// plus the callbacks the application sets for the panel's buttons. Emits
// changed() after every change. Main thread.
class HUDModel : public QObject {
    Q_OBJECT
public:
    enum class Mode { pill, card, dot };
    static QString modeName(Mode mode);
    // Exactly "pill", "card" and "dot".
    static std::optional<Mode> modeFromName(const QString& name);

    static constexpr int keep = 6; // the most entries the feed holds

    HUDModel();

    Mode mode() const { return mode_; }
    // Assigns the layout without telling modeChanged (a new session's start).
    void setMode(Mode mode);
    // Switches the layout as the panel's buttons do, then calls modeChanged,
    // also when the mode stays the same.
    void set(Mode mode);

    QDateTime started() const { return started_; }
    void setStarted(const QDateTime& at);
    const std::vector<FeedItem>& feed() const { return feed_; }
    void clearFeed();
    bool micOk() const { return micOk_; }
    void setMicOk(bool on);
    bool hearing() const { return hearing_; }
    void setHearing(bool on);
    bool listening() const { return listening_; }
    void setListening(bool on);

    // Offers an event to the feed: trimmed; empty text and a repeat of the
    // newest entry are dropped; otherwise it goes on top, the oldest beyond
    // `keep` go, and every orb flashes.
    void add(FeedItem::Kind kind, const QString& text);

    std::function<void()> stop = [] {};
    std::function<void()> pin = [] {};
    std::function<void()> voice = [] {};
    std::function<void(Mode)> modeChanged = [](Mode) {};

signals:
    void changed();
    // Before the change of a switch through set(): the views animate it.
    void switching();

private:
    Mode mode_ = Mode::pill;
    QDateTime started_;
    std::vector<FeedItem> feed_;
    bool micOk_ = true;
    bool hearing_ = false;
    bool listening_ = false;
};
