// "--ui-check": drives the popover and the recording panel and reports what it sees.
#include "app/AppController.h"
#include "app/Recovery.h"

#include "core/Log.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

QString frame(const std::optional<QRect>& r)
{
    if (!r)
        return QStringLiteral("-");
    const QScreen* screen = QGuiApplication::primaryScreen();
    return Recovery::frameText(*r, screen ? screen->geometry().height() : 0);
}

QString yes(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

void AppController::uiLog(const QString& message)
{
    const QString line = QStringLiteral("ui-check: ") + message;
    ports_.application->print(line);
    slog(line);
}

void AppController::uiCheck()
{
    // Each step is scheduled from the one before, so the delays add up.
    struct Step {
        double after;
        std::function<void(AppController&)> run;
    };
    auto steps = std::make_shared<std::vector<Step>>();
    auto hudFrame = std::make_shared<std::optional<QRect>>();
    steps->push_back({1.0, [](AppController& c) { c.popover->open(); }});
    steps->push_back({1.0, [](AppController& c) {
                          Ports::PopoverController& p = *c.popover;
                          const bool panel = p.isVisible() || p.frame().has_value();
                          c.uiLog(QStringLiteral("popover open=") + yes(p.isOpen()) + QStringLiteral(" key=")
                                  + yes(panel && p.isKey()) + QStringLiteral(" frame=") + frame(p.frame())
                                  + QStringLiteral(" height=") + QString::number(p.contentHeight())
                                  + QStringLiteral(" actions=") + QString::number(p.actionCount()));
                          if (panel)
                              for (int i = 0; i < 3; ++i)
                                  p.sendDown();
                          c.uiLog(QStringLiteral("after ↓↓↓ selected=") + p.selected().value_or(QStringLiteral("-")));
                          if (panel)
                              p.sendEscape();
                      }});
    steps->push_back({0.5, [](AppController& c) {
                          c.uiLog(QStringLiteral("after Esc open=") + yes(c.popover->isOpen())
                                  + QStringLiteral(" visible=") + yes(c.popover->isVisible()));
                          c.hud->show(Clock::current().now(), true);
                          c.hud->add(QStringLiteral("Now in"), QStringLiteral("Figma — Venue page"));
                          c.hud->add(QStringLiteral("Heard"), QStringLiteral("pricing page leads with annual"));
                      }});
    steps->push_back({1.0, [hudFrame](AppController& c) {
                          c.ports_.ownWindows->sync();
                          *hudFrame = c.ports_.ownWindows->excludedVisibleFrame();
                          c.uiLog(QStringLiteral("hud pill frame=") + frame(*hudFrame)
                                  + QStringLiteral(" sharing=none:") + yes(hudFrame->has_value()));
                          c.hud->setMode(Ports::HUDController::Mode::card);
                      }});
    steps->push_back({1.0, [hudFrame](AppController& c) {
                          c.ports_.ownWindows->sync();
                          if (*hudFrame)
                              *hudFrame = c.ports_.ownWindows->excludedVisibleFrame();
                          c.uiLog(QStringLiteral("hud card frame=") + frame(*hudFrame) + QStringLiteral(" feed=")
                                  + QString::number(c.hud->feedCount()));
                          c.hud->setMode(Ports::HUDController::Mode::dot);
                      }});
    steps->push_back({0.8, [hudFrame](AppController& c) {
                          c.ports_.ownWindows->sync();
                          if (*hudFrame)
                              *hudFrame = c.ports_.ownWindows->excludedVisibleFrame();
                          c.uiLog(QStringLiteral("hud dot frame=") + frame(*hudFrame));
                          c.hud->setMode(Ports::HUDController::Mode::pill);
                          c.hud->hide();
                      }});
    steps->push_back({0.5, [](AppController& c) {
                          c.uiLog(QStringLiteral("done"));
                          c.terminate();
                      }});

    auto next = std::make_shared<std::function<void(size_t)>>();
    // The pending step holds the chain; the chain holds itself only weakly.
    *next = [weak = weak_from_this(), steps, chain = std::weak_ptr(next)](size_t i) {
        auto self = weak.lock();
        auto next = chain.lock();
        if (!self || !next || i >= steps->size())
            return;
        self->ports_.scheduler->after((*steps)[i].after, [weak, steps, next, i] {
            if (auto c = weak.lock()) {
                (*steps)[i].run(*c);
                (*next)(i + 1);
            }
        });
    };
    (*next)(0);
}
