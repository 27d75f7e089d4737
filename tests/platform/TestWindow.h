#pragma once

#include <QProcess>
#include <QString>

// A plain window shown by a process of its own (zelvan_test_window), so that it
// has a pid other than the test's. The process is ended when the object dies.
class TestWindow {
public:
    // An empty display means the test's own.
    explicit TestWindow(const QString& title, const QString& display = {});
    ~TestWindow();
    bool ok() const { return window_ != 0; }
    qint32 pid() const { return qint32(process_.processId()); }
    // The X window id, in decimal as xdotool takes it.
    QString id() const { return QString::number(window_); }

private:
    QProcess process_;
    quint64 window_ = 0;
};
