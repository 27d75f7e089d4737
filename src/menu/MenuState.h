#pragma once

#include "menu/MBtn.h"
#include "ui/ZVChip.h"

#include <QMap>
#include <QString>
#include <optional>
#include <vector>

// The whole popover as one plain value: texts, flags, counts and action ids.
// The controller builds a fresh one on every change; the view draws it and
// dump() prints it for the command line and the self-test.
struct MenuState {
    // The record block.
    struct Rec {
        enum class Kind { idle, starting, saving, recording };
        Kind kind = Kind::idle;
        // Only for recording:
        double elapsed = 0; // seconds since the session began
        int shots = 0;
        int pins = 0;
        bool mic = false;

        static Rec idle() { return {}; }
        static Rec starting() { return {Kind::starting}; }
        static Rec saving() { return {Kind::saving}; }
        static Rec recording(double elapsed, int shots, int pins, bool mic)
        {
            return {Kind::recording, elapsed, shots, pins, mic};
        }
        bool isRecording() const { return kind == Kind::recording; }
        bool operator==(const Rec&) const = default;
    };

    struct Attn {
        QString id;
        QString tag; // chip text
        ZVChip::Tone tone = ZVChip::Tone::plain;
        QString title;
        std::optional<QString> detail;
        std::optional<QString> open; // run when the card itself is chosen
        std::vector<MBtn> buttons;
        bool stacked = false; // buttons one under the other
        bool operator==(const Attn&) const = default;
    };

    struct TodoRow {
        QString id; // the row itself
        QString title;
        bool busy;
        std::optional<QString> meta;
        std::optional<QString> start; // no "Start" button when unset
        QString done;
        bool operator==(const TodoRow&) const = default;
    };

    struct Group {
        QString name;
        std::vector<TodoRow> items;
        bool operator==(const Group&) const = default;
    };

    struct Proj {
        QString id;
        QString name;
        std::optional<QString> seat;
        bool operator==(const Proj&) const = default;
    };

    struct Workday {
        QString line;
        std::optional<MBtn> button;
        bool operator==(const Workday&) const = default;
    };

    struct FooterEntry {
        MBtn button;
        QString symbol;
        bool operator==(const FooterEntry&) const = default;
    };

    QString name = QStringLiteral("Zelvan");
    QString sub;
    QString status;
    ZVChip::Tone statusTone = ZVChip::Tone::plain;
    Rec rec;
    std::optional<QString> recID;
    std::optional<QString> openBoard;
    std::vector<MBtn> quick;
    std::vector<Attn> attention;
    int upNextCount = 0;
    std::optional<QString> upNextToggle;
    std::optional<QString> upNextNote;
    std::vector<Group> groups;
    int upNextMore = 0; // to-dos left out of the rows, shown as "and N more"
    std::optional<QString> upNextRefresh;
    std::optional<Workday> workday;
    std::vector<Proj> projects;
    int projectsMore = 0; // projects left out of the rows
    std::optional<QString> newProject;
    std::vector<FooterEntry> footer;

    bool operator==(const MenuState&) const = default;

    // The fixed key hints of the record button and the board row, in Mac glyphs.
    static inline const QString kickInKey = QStringLiteral("⌥⌘R");
    static inline const QString openBoardKey = QStringLiteral("⌘O");
    // A key hint as the popover shows it: through the one wording table, so the
    // dump prints what the user sees.
    static QString hint(const QString& mac);
    // The line under a list that shows only its first rows.
    static QString more(int n);

    // The state as plain text in a fixed line format. The map is accepted for
    // callers that pass their context; it never changes the text.
    QString dump(const QMap<QString, QString>& = {}) const;
};
