#pragma once

#include "menu/MenuModel.h"

#include <QStringList>

// A state with every section of the popover filled.
inline MenuState busyState()
{
    MenuState s;
    s.name = "Dana Reyes";
    s.sub = "Acme Studio";
    s.status = "Synced 2 min ago";
    s.statusTone = ZVChip::Tone::accent;
    s.recID = "rec";
    s.openBoard = "board";
    s.quick = {{"q.pin", "Add pin", false, "⌥⌘P"}, {"q.voice", "Voice", false, "⌥⌘␣"}, {"q.shot", "Screenshot"}};
    s.attention = {
        {"route", "Where does this go?", ZVChip::Tone::accent, "Call with Bo, 14 min", QString("Best match: Acme"),
         QString("w.open"), {{"w.0", "Acme", true}, {"w.1", "Personal"}}, true},
        {"review", "Review ready", ZVChip::Tone::amber, "Weekly sync", QString("3 suggestions from the call"),
         std::nullopt, {{"r.ok", "Open", true}, {"r.later", "Later"}}, false},
    };
    s.upNextCount = 3;
    s.upNextToggle = "upnext.toggle";
    s.groups = {
        {"Acme", {{"todo.a.1", "Ship the onboarding flow", true, QString("in progress since 9:40"), std::nullopt,
                   "todo.a.1.done"},
                  {"todo.a.2", "Write release notes", false, std::nullopt, QString("todo.a.2.start"),
                   "todo.a.2.done"}}},
        {"Personal", {{"todo.-.3", "Call the dentist", false, std::nullopt, QString("todo.-.3.start"),
                       "todo.-.3.done"}}},
    };
    s.workday = MenuState::Workday{"3h 12m today · 2 apps", MBtn{"wd.end", "End my day"}};
    s.projects = {{"p.acme", "Acme Studio", QString("lead")}, {"p.side", "Side project", std::nullopt}};
    s.newProject = "p.new";
    s.footer = {{{"f.settings", "Settings…", false, "⌘,"}, "gearshape"},
                {{"f.quit", "Quit Zelvan", false, "⌘Q"}, "power"}};
    return s;
}

// Every action id of `s` in the order the popover shows them.
inline QStringList idsOf(const MenuState& s)
{
    QStringList ids;
    const auto add = [&](const std::optional<QString>& id) {
        if (id)
            ids << *id;
    };
    add(s.recID);
    add(s.openBoard);
    for (const MBtn& b : s.quick)
        ids << b.id;
    for (const MenuState::Attn& a : s.attention) {
        add(a.open);
        for (const MBtn& b : a.buttons)
            ids << b.id;
    }
    add(s.upNextToggle);
    for (const MenuState::Group& g : s.groups) {
        for (const MenuState::TodoRow& r : g.items) {
            ids << r.id;
            add(r.start);
            ids << r.done;
        }
    }
    if (s.workday && s.workday->button)
        ids << s.workday->button->id;
    for (const MenuState::Proj& p : s.projects)
        ids << p.id;
    add(s.newProject);
    for (const MenuState::FooterEntry& f : s.footer)
        ids << f.button.id;
    return ids;
}

// Commits `s` with an action for each of its ids that appends the id to `log`;
// closing appends "close".
inline void install(MenuModel& m, const MenuState& s, QStringList& log, const QStringList& except = {})
{
    m.close = [&log] { log << "close"; };
    m.begin();
    for (const QString& id : idsOf(s)) {
        if (!except.contains(id))
            m.act(id, [&log, id] { log << id; });
    }
    m.commit(s);
}
