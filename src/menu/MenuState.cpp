#include "menu/MenuState.h"

#include "core/Fmt.h"
#include "platform/Wording.h"

QString MenuState::hint(const QString& mac)
{
    return Wording::shown(mac);
}

QString MenuState::dump(const QMap<QString, QString>&) const
{
    QString out;
    const auto line = [&out](const QString& text) { out += text + u'\n'; };

    line(name + QStringLiteral(" — ") + sub);
    line(QStringLiteral("  ") + status);

    switch (rec.kind) {
    case Rec::Kind::idle:
        line(QStringLiteral("[Kick in %1]").arg(hint(kickInKey)));
        line(QStringLiteral("  records screen & audio"));
        break;
    case Rec::Kind::starting:
        line(QStringLiteral("[Kicking in…]"));
        break;
    case Rec::Kind::saving:
        line(QStringLiteral("[Saving session…]"));
        break;
    case Rec::Kind::recording:
        line(QStringLiteral("[● Zelvan active %1 · recording screen & audio · %2 shots · %3 pins — Wrap up]")
                 .arg(Fmt::clock(rec.elapsed))
                 .arg(rec.shots)
                 .arg(rec.pins));
        break;
    }

    if (openBoard)
        line(QStringLiteral("[Open board %1]").arg(hint(openBoardKey)));

    QStringList tiles;
    for (const MBtn& b : quick)
        tiles << (b.kbd ? b.title + u' ' + hint(*b.kbd) : b.title);
    line(QStringLiteral("  ") + tiles.join(QStringLiteral(" | ")));

    for (const Attn& a : attention) {
        QString head = QStringLiteral("[ ") + a.tag.toUpper() + QStringLiteral(" ] ") + a.title;
        if (a.detail)
            head += QStringLiteral(" — ") + *a.detail;
        line(head);
        for (const MBtn& b : a.buttons)
            line(QStringLiteral("    ") + (b.primary ? QStringLiteral("▸ ") : QStringLiteral("  ")) + b.title);
    }

    QString heading = QStringLiteral("// UP NEXT (%1)").arg(upNextCount);
    if (upNextNote)
        heading += QStringLiteral(" — ") + *upNextNote;
    line(heading);
    for (const Group& g : groups) {
        line(QStringLiteral("  ") + g.name);
        for (const TodoRow& r : g.items) {
            QString row = QStringLiteral("    ");
            if (r.busy)
                row += QStringLiteral("▶ ");
            row += r.title;
            if (r.start)
                row += QStringLiteral("  [Start]");
            line(row + QStringLiteral("  [Done]"));
        }
    }
    if (upNextMore > 0)
        line(QStringLiteral("    ") + more(upNextMore));

    if (workday)
        line(workday->line + (workday->button ? QStringLiteral("  [") + workday->button->title + u']' : QString()));

    if (!projects.empty()) {
        line(QStringLiteral("// PROJECTS"));
        for (const Proj& p : projects)
            line(QStringLiteral("  ") + p.name + (p.seat ? QStringLiteral(" · ") + *p.seat : QString()));
        if (projectsMore > 0)
            line(QStringLiteral("  ") + more(projectsMore));
    }

    for (const FooterEntry& f : footer)
        line(f.button.title + (f.button.kbd ? QStringLiteral("  ") + hint(*f.button.kbd) : QString()));
    return out;
}

QString MenuState::more(int n)
{
    return QStringLiteral("and %1 more").arg(n);
}
