// The menu's text dump, line by line, for the states the popover can be in.
#include "menu/MenuState.h"

#include <gtest/gtest.h>

namespace {

using Rec = MenuState::Rec;

MenuState with(std::function<void(MenuState&)> change)
{
    MenuState s;
    change(s);
    return s;
}

struct Golden {
    const char* name;
    MenuState state;
    const char* text;
};

TEST(MenuStateDump, GoldenTexts)
{
    const Golden cases[] = {
        {"default", MenuState(),
         "Zelvan — \n"
         "  \n"
         "[Kick in Ctrl+Alt+R]\n"
         "  records screen & audio\n"
         "  \n"
         "// UP NEXT (0)\n"},
        {"over an hour, fraction dropped", with([](MenuState& s) { s.rec = Rec::recording(3725.9, 12, 3, true); }),
         "Zelvan — \n"
         "  \n"
         "[● Zelvan active 1:02:05 · recording screen & audio · 12 shots · 3 pins — Wrap up]\n"
         "  \n"
         "// UP NEXT (0)\n"},
        {"under a minute", with([](MenuState& s) { s.rec = Rec::recording(59.9, 0, 0, false); }),
         "Zelvan — \n  \n[● Zelvan active 0:59 · recording screen & audio · 0 shots · 0 pins — Wrap up]\n  \n"
         "// UP NEXT (0)\n"},
        {"negative elapsed", with([](MenuState& s) { s.rec = Rec::recording(-5, 1, 1, false); }),
         "Zelvan — \n  \n[● Zelvan active 0:00 · recording screen & audio · 1 shots · 1 pins — Wrap up]\n  \n"
         "// UP NEXT (0)\n"},
        {"starting and the board row", with([](MenuState& s) {
             s.name = "Dana";
             s.sub = "Acme";
             s.status = "signed in";
             s.rec = Rec::starting();
             s.openBoard = "board";
             s.recID = "rec";
         }),
         "Dana — Acme\n  signed in\n[Kicking in…]\n[Open board Ctrl+O]\n  \n// UP NEXT (0)\n"},
        {"saving, quick row and note", with([](MenuState& s) {
             s.rec = Rec::saving();
             s.quick = {{"q.pin", "Add pin", false, "⌥⌘P"}, {"q.voice", "Voice"}};
             s.upNextNote = "sign in to see your to-dos";
             s.upNextToggle = "upnext.toggle";
             s.upNextRefresh = "upnext.refresh";
         }),
         "Zelvan — \n  \n[Saving session…]\n  Add pin Ctrl+Alt+P | Voice\n"
         "// UP NEXT (0) — sign in to see your to-dos\n"},
        {"attention cards", with([](MenuState& s) {
             s.rec = Rec::saving();
             s.attention = {
                 {"a1",
                  "call",
                  ZVChip::Tone::accent,
                  "Zoom is using the mic",
                  std::nullopt,
                  "open.a1",
                  {{"a1.yes", "Kick in", true, "⌘K"}, {"a1.no", "Not now"}}},
                 {"a2", "Review ready", ZVChip::Tone::plain, "Weekly sync", QString("2 suggestions")},
             };
         }),
         "Zelvan — \n  \n[Saving session…]\n  \n"
         "[ CALL ] Zoom is using the mic\n"
         "    ▸ Kick in\n"
         "      Not now\n"
         "[ REVIEW READY ] Weekly sync — 2 suggestions\n"
         "// UP NEXT (0)\n"},
        {"to-dos, work day, projects and footer", with([](MenuState& s) {
             s.rec = Rec::saving();
             s.upNextCount = 3;
             s.groups = {
                 {"Acme",
                  {{"todo.a.1", "Ship it", true, "due today", std::nullopt, "todo.a.1.done"},
                   {"todo.a.2", "Write notes", false, std::nullopt, "todo.a.2.start", "todo.a.2.done"}}},
                 {"", {{"todo.-.3", "Call Bo", false, std::nullopt, std::nullopt, "todo.-.3.done"}}},
             };
             s.workday = MenuState::Workday{"Today 3h 10m", MBtn{"wd.end", "End my day"}};
             s.projects = {{"p.1", "Acme", "lead"}, {"p.2", "Side", std::nullopt}};
             s.newProject = "p.new";
             s.footer = {{{"f.settings", "Settings…", false, "⌘,"}, "gearshape"},
                         {{"f.quit", "Quit Zelvan", false, "⌘Q"}, "power"},
                         {{"f.help", "Help"}, "book"}};
         }),
         "Zelvan — \n  \n[Saving session…]\n  \n"
         "// UP NEXT (3)\n"
         "  Acme\n"
         "    ▶ Ship it  [Done]\n"
         "    Write notes  [Start]  [Done]\n"
         "  \n"
         "    Call Bo  [Done]\n"
         "Today 3h 10m  [End my day]\n"
         "// PROJECTS\n"
         "  Acme · lead\n"
         "  Side\n"
         "Settings…  Ctrl+,\n"
         "Quit Zelvan  Ctrl+Q\n"
         "Help\n"},
        {"work day without button, new project alone", with([](MenuState& s) {
             s.rec = Rec::saving();
             s.workday = MenuState::Workday{"Not tracking"};
             s.newProject = "p.new";
         }),
         "Zelvan — \n  \n[Saving session…]\n  \n// UP NEXT (0)\nNot tracking\n"},
    };
    for (const Golden& c : cases)
        EXPECT_EQ(c.state.dump().toStdString(), c.text) << c.name;
}

TEST(MenuStateDump, TheArgumentNeverChangesTheText)
{
    MenuState s;
    s.footer = {{{"f.quit", "Quit Zelvan", false, "⌘Q"}, "power"}};
    EXPECT_EQ(s.dump({{"selected", "f.quit"}, {"anything", "else"}}), s.dump());
}

} // namespace
