#include "preview/LaunchPreview.h"

#include "activity/Coach.h"
#include "app/AppController.h"
#include "ui/WindowBox.h"
#include "ui/WrapModel.h"
#include "ui/WrapView.h"

#include <QCoreApplication>

namespace LaunchPreview {

void show(AppController& c)
{
    if (!c.args().contains(QStringLiteral("--wrap"))) {
        c.openSettings();
    } else {
        // The window keeps its model: both go when the window is closed.
        auto* model = new WrapModel;
        model->setRunning(false);
        if (const auto home = c.accounts.home())
            model->board = home->link(QStringLiteral("board"));
        model->setSummary(QStringLiteral("A focused day on the launch console: the token venue page got its new "
                                         "layout, and the call with the design team settled the leaderboard scope."));
        model->setHighlights(
            {"4 h 10 m in the editor, 50 m in calls", "Shipped the venue page layout", "Leaderboard scope agreed"});
        model->setTomorrow({"Finish the caution notices", "Review the phone web app spike"});
        model->setCards(
            {{"t:1", "Send the leaderboard plan to the team"}, {"t:2", "Check P&L numbers against the chain"}});
        auto* view = new WrapView(*model);
        model->setParent(view);
        static WindowBox* const windows = [] {
            // Its windows go while the application still runs, not in its destructor.
            auto* box = new WindowBox;
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, [box] { delete box; });
            return box;
        }();
        windows->show(QStringLiteral("wrap"), QStringLiteral("End my day"), view);
    }
    c.ports().nudges->show({
        .kind = QStringLiteral("preview"),
        .priority = 1,
        .icon = QStringLiteral("/"),
        .title = QStringLiteral("Time for a break — 52 min straight"),
        .message = Coach::tips().value(0),
        .buttons = {{QStringLiteral("In 10 min"), false, [] {}}, {QStringLiteral("Taking it"), true, [] {}}},
        .timeout = 60,
    });
}

} // namespace LaunchPreview
