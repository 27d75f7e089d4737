#pragma once

#include "platform/Windows.h"

#include <QHash>
#include <QString>
#include <vector>

// Names the application behind a window from what the window and its process
// say: the id is the desktop-entry id (GTK application id, Flatpak id, or the
// desktop entry that WM_CLASS points to), else WM_CLASS's instance, else the
// executable's name; the name is the desktop entry's Name, else WM_CLASS's
// class, else the process's command name. Not thread-safe.
class AppIdentity {
public:
    struct Hints {
        qint32 pid = 0;
        QString instance; // WM_CLASS, first part
        QString cls;      // WM_CLASS, second part
        QString gtkId;    // _GTK_APPLICATION_ID
    };
    Windows::App resolve(const Hints& hints);
    // Reads the desktop entries again when a folder of them changed.
    void refresh();

    // "com.slack.Slack" from a process in a Flatpak sandbox; empty otherwise.
    static QString flatpakId(qint32 pid);

private:
    struct Entry {
        QString id;
        QString name;
    };
    QString idForClass(const QString& cls, const QString& instance) const;

    QHash<QString, Entry> byId_;
    QHash<QString, QString> byLowerId_;
    QHash<QString, QString> byWmClass_;
    std::vector<std::pair<QString, qint64>> stamps_; // folder and its modification time
};
