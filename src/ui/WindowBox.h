#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QWidget;

// Keeps at most one ordinary window per id (the settings and end-of-day
// windows). Showing an id whose window is open puts the new content in place of
// the old one and brings the window forward; a closed window is forgotten, so
// the next show builds a fresh one. Main thread.
class WindowBox : public QObject {
    Q_OBJECT
public:
    explicit WindowBox(QObject* parent = nullptr);
    ~WindowBox() override;

    // Takes ownership of `view`. A new window is sized to the view (600 × 600
    // when the view has no size of its own), not resizable, titled and centred;
    // an open one keeps its title, size and place. Raised and asked for focus,
    // which the window manager may refuse.
    void show(const QString& id, const QString& title, QWidget* view);

    // The open window kept under `id`, or nothing.
    QWidget* window(const QString& id) const;
    int count() const { return windows_.size(); }

    // A window closed: its entry goes, matched by identity. A window of
    // someone else's changes nothing.
    void windowClosed(QObject* window);

private:
    QHash<QString, QWidget*> windows_;
};
