#include "activity/CallApps.h"

#include "core/Clock.h"
#include "core/Fmt.h"
#include "core/Strings.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace CallApps {

namespace {

std::optional<QString> lookup(const Table& table, const QString& id)
{
    for (const auto& [prefix, name] : table)
        if (id.startsWith(prefix))
            return name;
    return std::nullopt;
}

} // namespace

const Table& native()
{
    // The Linux ids of the same applications follow the macOS ones: executable
    // names, desktop-entry ids and Flatpak ids ("us.zoom.Zoom" is already
    // covered by "us.zoom").
    static const Table table = {
        {"us.zoom.xos", "Zoom"},
        {"us.zoom", "Zoom"},
        {"com.microsoft.teams2", "Teams"},
        {"com.microsoft.teams", "Teams"},
        {"com.tinyspeck.slackmacgap", "Slack"},
        {"com.apple.FaceTime", "FaceTime"},
        {"com.apple.avconferenced", "FaceTime"},
        {"com.hnc.Discord", "Discord"},
        {"com.cisco.webexmeetingsapp", "Webex"},
        {"com.webex.meetingmanager", "Webex"},
        {"Cisco-Systems.Spark", "Webex"},
        {"zoom", "Zoom"},
        {"Zoom", "Zoom"},
        {"teams-for-linux", "Teams"},
        {"com.github.IsmaelMartinez.teams_for_linux", "Teams"},
        {"com.microsoft.Teams", "Teams"},
        {"teams", "Teams"},
        {"slack", "Slack"},
        {"com.slack.Slack", "Slack"},
        {"discord", "Discord"},
        {"Discord", "Discord"},
        {"com.discordapp.Discord", "Discord"},
        {"webex", "Webex"},
        {"CiscoCollabHost", "Webex"},
    };
    return table;
}

const Table& browsers()
{
    // Linux ids after the macOS rows; the Flatpak ids of Chrome, Firefox, Brave
    // and Vivaldi are the macOS ids already.
    static const Table table = {
        {"com.google.Chrome", "Chrome"},
        {"com.apple.Safari", "Safari"},
        {"com.apple.WebKit", "Safari"},
        {"company.thebrowser", "Arc"},
        {"com.brave.Browser", "Brave"},
        {"com.microsoft.edgemac", "Edge"},
        {"org.mozilla.firefox", "Firefox"},
        {"com.vivaldi.Vivaldi", "Vivaldi"},
        {"com.operasoftware.Opera", "Opera"},
        {"google-chrome", "Chrome"},
        {"chrome", "Chrome"},
        {"chromium", "Chromium"},
        {"org.chromium.Chromium", "Chromium"},
        {"firefox", "Firefox"},
        {"brave", "Brave"},
        {"microsoft-edge", "Edge"},
        {"msedge", "Edge"},
        {"com.microsoft.Edge", "Edge"},
        {"vivaldi", "Vivaldi"},
        {"opera", "Opera"},
        {"com.opera.Opera", "Opera"},
    };
    return table;
}

std::optional<QString> nativeName(const QString& bundleID)
{
    return lookup(native(), bundleID);
}

std::optional<QString> browserName(const QString& bundleID)
{
    return lookup(browsers(), bundleID);
}

std::optional<QString> webCall(const QString& title)
{
    const QString t = title.toLower();
    if (t.contains(QLatin1String("meet.google.com")) || t.startsWith(QLatin1String("meet -"))
        || t.startsWith(QStringLiteral("meet –")) || t.contains(QLatin1String("google meet")))
        return QStringLiteral("Google Meet");
    if (t.contains(QLatin1String("zoom")))
        return QStringLiteral("Zoom");
    if (t.contains(QLatin1String("teams")))
        return QStringLiteral("Teams");
    if (t.contains(QLatin1String("whereby")))
        return QStringLiteral("Whereby");
    if (t.contains(QLatin1String("jitsi")))
        return QStringLiteral("Jitsi");
    return std::nullopt;
}

QString recordingTitle(const QString& app, const std::optional<QString>& windowTitle)
{
    static const QStringList suffixes = {
        QStringLiteral(" - Google Chrome"), QStringLiteral(" — Google Chrome"),   QStringLiteral(" - Google Meet"),
        QStringLiteral(" – Google Meet"),   QStringLiteral(" - Microsoft Teams"), QStringLiteral(" | Microsoft Teams"),
        QStringLiteral(" - Arc"),           QStringLiteral(" — Safari"),
    };
    static const QSet<QString> generic = {
        QString(),
        QStringLiteral("zoom"),
        QStringLiteral("zoom meeting"),
        QStringLiteral("zoom workplace"),
        QStringLiteral("microsoft teams"),
        QStringLiteral("teams"),
        QStringLiteral("slack"),
        QStringLiteral("facetime"),
        QStringLiteral("discord"),
        QStringLiteral("webex"),
        QStringLiteral("meet"),
        QStringLiteral("google meet"),
    };
    static const QRegularExpression meetPrefix(QStringLiteral("^Meet\\s*[–-]\\s*"),
                                               QRegularExpression::UseUnicodePropertiesOption);

    QString t = windowTitle.value_or(QString()).trimmed();
    for (const QString& suffix : suffixes)
        if (t.endsWith(suffix))
            t.chop(suffix.size());
    const QRegularExpressionMatch m = meetPrefix.match(t);
    if (m.hasMatch())
        t.remove(m.capturedStart(), m.capturedLength());

    if (generic.contains(t.toLower()) || graphemeCount(t) <= 2)
        return app + QStringLiteral(" call · ") + Fmt::human(Clock::current().now());
    return graphemeCount(t) > 120 ? leftGraphemes(t, 120) : t;
}

} // namespace CallApps
