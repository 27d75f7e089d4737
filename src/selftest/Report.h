#pragma once

#include <QString>
#include <functional>

// The self-test's report: one line per check, information lines that never
// count, and the summary that decides the exit status.
class Report {
public:
    // Receives each line without its line feed.
    using Sink = std::function<void(const QString& line)>;

    explicit Report(Sink sink);

    // "PASS  name" or "FAIL  name", then "  — detail" when there is one; a FAIL counts.
    void check(bool ok, const QString& name, const QString& detail = {});
    void info(const QString& text);
    // Six blanks and the text.
    void note(const QString& text);
    void section(const QString& title);
    void header(const QString& folder);
    // An empty line, then "ALL PASSED" or "<n> FAILED"; the exit status (0 or 1).
    int summary();

    qint64 failures() const { return failures_; }

    static QString line(bool ok, const QString& name, const QString& detail);

private:
    Sink sink_;
    qint64 failures_ = 0;
};
