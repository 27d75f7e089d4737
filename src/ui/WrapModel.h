#pragma once

#include "core/Url.h"
#include "core/WrapStatus.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// What the end-of-day window shows, written by the controller as it uploads the
// day, asks for the summary and polls for it. A new model per request; no logic.
// changed() follows every assignment. Main thread.
class WrapModel : public QObject {
    Q_OBJECT
public:
    explicit WrapModel(QObject* parent = nullptr);

    // The step in progress, shown while running.
    const QString& phase() const { return phase_; }
    void setPhase(const QString& value);
    bool running() const { return running_; }
    void setRunning(bool value);
    const std::optional<QString>& summary() const { return summary_; }
    void setSummary(const std::optional<QString>& value);
    const QStringList& highlights() const { return highlights_; }
    void setHighlights(const QStringList& value);
    const QStringList& tomorrow() const { return tomorrow_; }
    void setTomorrow(const QStringList& value);
    // Follow-ups added to the user's inbox.
    const std::vector<WrapStatus::Card>& cards() const { return cards_; }
    void setCards(const std::vector<WrapStatus::Card>& value);
    const std::optional<QString>& error() const { return error_; }
    void setError(const std::optional<QString>& value);

    // The board page behind "Open board"; no button without it. Not announced.
    std::optional<Url> board;

signals:
    void changed();

private:
    QString phase_;
    bool running_ = true;
    std::optional<QString> summary_;
    QStringList highlights_;
    QStringList tomorrow_;
    std::vector<WrapStatus::Card> cards_;
    std::optional<QString> error_;
};
