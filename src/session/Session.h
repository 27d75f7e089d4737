#pragma once

#include "session/SessionMeta.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// One recording on disk: its folder under the recordings folder and its metadata.
// Shared by reference among its users; it does no locking, so one object is
// changed from one thread at a time. Changes reach "meta.json" only through save().
class Session {
public:
    // What a pin holds: a screenshot with a note, one the recorder took on its
    // own (an automatic pin), or a note card whose image is only its text.
    enum class PinKind { screenshot, automatic, textOnly };

    // The folder for a new session could not be made.
    struct CreateError : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    Session(QString dir, SessionMeta meta);

    // Makes the folder (named by the start's stamp, "-2", "-3"… when taken), its
    // "shots" and "pins" and the first "meta.json". The folder is created
    // exclusively, so two sessions never share one; throws CreateError when no
    // folder can be made.
    static std::shared_ptr<Session> create(const QString& title, const QString& app,
                                           const std::optional<QUuid>& workspace = std::nullopt,
                                           const std::optional<QDateTime>& started = std::nullopt,
                                           const std::optional<QString>& base = std::nullopt);
    // A "meta.json" above this size is not read: no session has one near it.
    static constexpr qint64 maxMetaBytes = 32 << 20;

    // The session of an existing folder; nothing when its "meta.json" is missing or
    // unreadable. Neither the folder nor its "meta.json" may be a link, and only a
    // regular file of at most maxMetaBytes is read. `problem` gets why a folder
    // that has a "meta.json" did not load.
    static std::shared_ptr<Session> load(const QString& dir, QString* problem = nullptr);
    // Finished sessions on disk (those with `ended`), oldest folder name first. A
    // folder a recorder holds (SessionLock) is live and left out.
    static std::vector<std::shared_ptr<Session>> pending(const std::optional<QString>& base = std::nullopt);

    const QString& dir() const { return dir_; }
    SessionMeta& meta() { return meta_; }
    const SessionMeta& meta() const { return meta_; }

    // Writes "meta.json" (replacing a link in its place, never writing through
    // it); a failure is logged, never thrown. Whether it was written.
    bool save() const;
    // Removes the folder and everything in it without following a link; a folder
    // that is itself a link is left alone. Whether it is gone.
    bool removeFolder() const;
    // A regular file that is no link.
    static bool isPlainFile(const QString& path);
    // The folder joined with a relative name ("mic.m4a", "shots/000.jpg").
    QString path(const QString& name) const;
    // Store the JPEG as the next numbered file and list it; a failed write is
    // logged and lists nothing. Neither saves "meta.json".
    void addShot(double t, const QByteArray& jpeg);
    void addPin(double t, const QString& note, const QByteArray& jpeg, PinKind kind = PinKind::screenshot);
    // The audio file to upload, when it is named and present.
    std::optional<QString> audioPath() const;

private:
    // Writes the bytes to the relative name; an error text, or nothing on success.
    std::optional<QString> writeImage(const QString& file, const QByteArray& jpeg) const;

    QString dir_;
    SessionMeta meta_;
};
