#include "selftest/Report.h"

Report::Report(Sink sink)
    : sink_(std::move(sink))
{
}

QString Report::line(bool ok, const QString& name, const QString& detail)
{
    QString out = (ok ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")) + name;
    if (!detail.isEmpty())
        out += QStringLiteral("  — ") + detail;
    return out;
}

void Report::check(bool ok, const QString& name, const QString& detail)
{
    sink_(line(ok, name, detail));
    if (!ok)
        ++failures_;
}

void Report::info(const QString& text)
{
    sink_(QStringLiteral("INFO  ") + text);
}

void Report::note(const QString& text)
{
    sink_(QStringLiteral("      ") + text);
}

void Report::section(const QString& title)
{
    sink_(QStringLiteral("-- ") + title);
}

void Report::header(const QString& folder)
{
    sink_(QStringLiteral("Zelvan selftest — files in ") + folder);
}

int Report::summary()
{
    sink_(QString());
    sink_(failures_ == 0 ? QStringLiteral("ALL PASSED") : QString::number(failures_) + QStringLiteral(" FAILED"));
    return failures_ == 0 ? 0 : 1;
}
