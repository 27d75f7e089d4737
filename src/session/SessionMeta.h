#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>
#include <vector>

// The records of one session's "meta.json". Times `t` and `end` are seconds from
// the session's `started`; file names are relative to the session folder.

struct ShotMeta {
    double t = 0;
    QString file;

    QJsonObject toJson() const;
    static ShotMeta fromJson(const QJsonObject& o);
};

struct PinMeta {
    double t = 0;
    QString note;
    QString file;
    // Only ever true or absent: false is not stored.
    std::optional<bool> autoPin;
    std::optional<bool> textOnly;

    QJsonObject toJson() const;
    static PinMeta fromJson(const QJsonObject& o);
};

struct Span {
    double t = 0;
    double end = 0;

    bool operator==(const Span&) const = default;
    QJsonObject dict() const;
    QJsonObject toJson() const { return dict(); }
    static Span fromJson(const QJsonObject& o);
};

struct OcrEntry {
    double t = 0;
    QString app;
    QString text;

    bool operator==(const OcrEntry&) const = default;
    QJsonObject dict() const;
    QJsonObject toJson() const { return dict(); }
    static OcrEntry fromJson(const QJsonObject& o);
};

struct AppSpan {
    double t = 0;
    double end = 0;
    QString app;
    std::optional<QString> title;

    bool operator==(const AppSpan&) const = default;
    // "title" is always there, null when absent (unlike in the file).
    QJsonObject dict() const;
    QJsonObject toJson() const;
    static AppSpan fromJson(const QJsonObject& o);

    // Folds one sample of the front window into the list: the same window seen
    // again within `gap` seconds grows the last span, anything else closes it at
    // `t` and opens a new one. An empty title is a title; no title is another window.
    static void merge(std::vector<AppSpan>& spans, double t, const QString& app, const std::optional<QString>& title,
                      double gap = 6.0);
};

struct Routed {
    double score = 0;
    QStringList reasons;
    bool autoFiled = false;

    bool operator==(const Routed&) const = default;
    QJsonObject dict() const;
    QJsonObject toJson() const { return dict(); }
    static Routed fromJson(const QJsonObject& o);
};

struct SessionMeta {
    QString title;
    QString app;
    QDateTime started;
    std::optional<QDateTime> ended;
    QStringList participants;
    std::optional<QUuid> workspaceID;
    bool micOk = false;
    std::vector<ShotMeta> shots;
    std::vector<PinMeta> pins;
    std::vector<Span> levelsMic;
    std::vector<Span> levelsTab;
    std::optional<QString> audioFile;
    bool fromCall = false;
    std::optional<QString> kind;
    std::optional<QString> callApp;
    std::optional<std::vector<OcrEntry>> ocr;
    std::optional<std::vector<AppSpan>> apps;
    std::optional<Routed> routed;
    std::optional<bool> routeDone;
    std::optional<bool> personal;
    std::optional<bool> waitingPersonal;
    std::optional<QString> callId;
    bool audioUploaded = false;
    bool processed = false;
    std::optional<QString> lastError;
    std::optional<QString> uploadedServer;
    // Sent as the Idempotency-Key of the call's creation; saved before the first
    // attempt, so a repeat after a lost answer is the same request to the server.
    std::optional<QString> idempotencyKey;
    // Session time of each track's first sample, saved as soon as it is known, so
    // the tracks can still be mixed in step after a crash.
    std::optional<double> micOffset;
    std::optional<double> systemOffset;

    // "call" when `kind` says so, or, while no kind is set, when the recording was
    // started for a call or marked as one. Case-sensitive.
    bool isCall() const;

    QJsonObject toJson() const;
    // Strict: a missing or mistyped required key, a null, a bad date or a file
    // name that leaves the session folder throws Json::DecodeError.
    static SessionMeta fromJson(const QJsonObject& o);
};
