#pragma once

#include "selftest/Report.h"
#include "selftest/SelfTest.h"

#include <gtest/gtest.h>

#include <QStringList>

// The report lines a piece of the self-test writes to standard output, and how
// many of them failed.
struct ReportLines {
    QStringList lines;
    qint64 failed = 0;

    // The line of check `name` (passed or failed), or "" when there is none.
    QString of(const QString& name) const
    {
        for (const QString& l : lines)
            if (l.mid(6).startsWith(name) && (l.startsWith(QStringLiteral("PASS  ")) || l.startsWith(QStringLiteral("FAIL  "))))
                return l;
        return {};
    }
    QString joined() const { return lines.join(u'\n'); }

    template <typename F>
    static ReportLines capture(F&& f)
    {
        const qint64 before = SelfTest::report().failures();
        testing::internal::CaptureStdout();
        f();
        ReportLines out;
        out.lines = QString::fromStdString(testing::internal::GetCapturedStdout()).split(u'\n', Qt::SkipEmptyParts);
        out.failed = SelfTest::report().failures() - before;
        return out;
    }
};
