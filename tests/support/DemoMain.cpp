// zelvan-demo: what `make run` shows on a machine without a display. Inside the
// private desktop (scripts/desktop-session) it starts the fake platform, puts a
// window with text on the screen, signs the real zelvan in through the device
// flow, records ten seconds with Ctrl+Alt+R, files the session to the first
// project and prints what the platform received. Exit status 0 only when the
// platform holds the call.
//
//   scripts/desktop-session build/tests/support/zelvan-demo build/src/app/zelvan
//       build/tests/support/zelvan-fake-platform       (one line)

#include "../platform/DesktopHelpers.h"
#include "core/Keychain.h"
#include "core/Settings.h"
#include "platform/AppId.h"
#include "platform/Http.h"
#include "session/Session.h"
#include "support/JourneyDriver.h"
#include "support/TextImages.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QString windowText = QStringLiteral("Quarterly budget review\nShip the beta on Friday");
const QString speech = QStringLiteral("Welcome to the quarterly budget review. We ship the beta on Friday, "
                                      "and Ada writes the release notes before the call with the design team.");
constexpr double recordSeconds = 10;

void say(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

class Demo {
public:
    Demo(QString zelvan, QString fakePlatform)
        : app_(std::move(zelvan))
        , fakePath_(std::move(fakePlatform))
    {
    }
    ~Demo()
    {
        app_.stop();
        if (fake_.state() != QProcess::NotRunning) {
            fake_.terminate();
            fake_.waitForFinished(10'000);
        }
        // Nothing of the run stays behind: the account key and the settings suite.
        Keychain::setService(service_);
        Keychain::remove(Keychain::accountItem);
        Settings::removeSuite(suite_);
    }

    int run()
    {
        if (!work_.isValid())
            return fail("no temporary folder");
        qputenv("ZELVAN_SUPPORT_DIR", work_.filePath("support").toUtf8());

        if (!startPlatform())
            return fail("zelvan-fake-platform did not start");
        say("  platform    " + base_ + " (zelvan-fake-platform, approves every sign-in)");
        Settings settings(Settings::suite(suite_));
        settings.setPlatformBase(base_);

        showWindow();
        const QString voice = work_.filePath("voice.wav");
        if (!::run("espeak-ng", {"-w", voice, speech}))
            return fail("espeak-ng could not make the voice");

        JourneyDriver::Launch launch{.suite = suite_, .keyringService = service_, .args = {"--sign-in"}};
        // Nobody is at a browser here; the platform approves the code at its first poll.
        launch.env["ZELVAN_NO_BROWSER"] = "1";
        if (!app_.launch(launch))
            return fail("zelvan did not start");
        say("  launched    zelvan in the private desktop (tray host, keyring, sound server of its own)");
        const auto me = app_.logged("[Zelvan] sign-in: signed in as ") ? app_.waitLine("[Zelvan] me: ") : std::nullopt;
        if (!me)
            return fail("the device sign-in did not finish");
        say("  signed in   " + signedIn(*me));
        // The sign-in ends in the settings window; done with it, as a person would be.
        if (!JourneyDriver::closeWindow("Zelvan Settings"))
            return fail("the settings window after the sign-in did not close");
        JourneyDriver::spend(2); // its frame goes, the desktop settles

        const QString dir = app_.kickIn();
        if (dir.isEmpty())
            return fail("Ctrl+Alt+R started no recording");
        QProcess speaker;
        speaker.start("paplay", {voice});
        say(QStringLiteral("  recording   Ctrl+Alt+R, %1 s of a window with text and a voice on the speaker")
                .arg(recordSeconds));
        JourneyDriver::spend(recordSeconds);
        if (!app_.wrapUp())
            return fail("Ctrl+Alt+R could not be pressed");
        speaker.waitForFinished(30'000);
        say("  wrapped up  Ctrl+Alt+R");

        const auto where = app_.waitLine("[Zelvan] where ");
        if (!where)
            return fail("zelvan never asked where the session goes");
        const auto choice = firstProject(dir, *where);
        if (!choice)
            return fail("the route card's first project was not found on screen");
        if (!JourneyDriver::click(choice->second))
            return fail("the click on the route card failed");
        say("  filed       “Where does this go?” → " + choice->first);

        const auto line = app_.waitLine("[Zelvan] uploaded ", 300);
        if (!line)
            return fail("the session was not uploaded");
        const QString& uploaded = *line;
        const QString id = between(uploaded, " -> ", " @ ");
        say("  uploaded    " + id + " @ " + after(uploaded, " @ "));
        return report(id);
    }

private:
    bool startPlatform()
    {
        fake_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        fake_.start(fakePath_, {"--auto-approve"});
        if (!fake_.waitForStarted(30'000))
            return false;
        waitFor([&] { return fake_.canReadLine() || fake_.state() == QProcess::NotRunning; }, 30);
        base_ = QString::fromUtf8(fake_.readLine()).trimmed();
        return base_.startsWith("http://");
    }

    void showWindow()
    {
        window_.setText(windowText);
        window_.setFont(TextImages::font(56, true));
        window_.setStyleSheet("QLabel { background: white; color: black; padding: 40px; }");
        window_.setWindowFlags(Qt::FramelessWindowHint);
        window_.setWindowTitle("Quarterly budget review");
        // Clear of the tray at the bottom and the cards at the top right.
        window_.setGeometry(60, 300, 1000, 300);
        window_.show();
        waitFor([&] { return window_.isVisible(); }, 30);
        JourneyDriver::spend(1);
    }

    // The label and the screen position of the card's first project button. The
    // card lists Personal, then the projects in the order the log names their scores;
    // the suggested choice leads.
    std::optional<std::pair<QString, QPoint>> firstProject(const QString& dir, const QString& where)
    {
        const QString suggested = after(where, " -> suggest ").remove(" (auto-file, opt-in)");
        const QString scores = where.mid(0, where.lastIndexOf(" -> suggest "));
        QStringList labels{"Personal (private)"};
        for (QString score : scores.mid(scores.lastIndexOf("): ") + 3).split(", ", Qt::SkipEmptyParts)) {
            const qsizetype blank = score.lastIndexOf(' ');
            if (blank > 0 && score.endsWith('%'))
                labels << score.left(blank) + " · " + score.mid(blank + 1);
        }
        if (labels.size() < 2)
            return std::nullopt;
        const QString project = labels[1];
        std::stable_partition(labels.begin(), labels.end(), [&](const QString& label) {
            const QString name = label == "Personal (private)" ? QStringLiteral("Personal") : label.section(" · ", 0, 0);
            return suggested.startsWith(name + " · ");
        });
        const auto session = Session::load(dir);
        if (!session)
            return std::nullopt;
        const QString message = "“" + session->meta().title + "”\nSuggested: " + suggested
            + "\nNo choice in 2 min → Personal.";
        JourneyDriver::spend(1); // the card fades in
        std::optional<QPoint> at;
        waitFor([&] { return bool(at = app_.routeButton(message, labels, int(labels.indexOf(project)))); }, 30);
        if (!at)
            return std::nullopt;
        return std::pair(project, *at);
    }

    // Prints the platform's record of the call; 0 when it holds it.
    int report(const QString& id)
    {
        std::optional<QJsonObject> record;
        waitFor(
            [&] {
                const Http::Response answer = Http::Session().send(
                    {.method = "GET", .url = (base_ + "/__test/calls").toUtf8()});
                for (const QJsonValue& call : QJsonDocument::fromJson(answer.body).object().value("calls").toArray())
                    if (call.toObject().value("id").toString() == id && call.toObject().value("processed").toBool())
                        record = call.toObject();
                return record.has_value();
            },
            60);
        if (!record)
            return fail("the platform does not hold " + id);
        const QJsonObject& r = *record;
        QStringList text;
        for (const QJsonValue& t : r.value("screen_text").toArray())
            for (const QString& line : t.toString().split('\n', Qt::SkipEmptyParts))
                if (!text.contains(line.trimmed()))
                    text << line.trimmed();
        QStringList pins;
        for (const QJsonValue& p : r.value("pins").toArray())
            pins << "“" + p.toString() + "”";
        say("");
        say("The platform holds " + id + " in the project " + r.value("project").toString() + ":");
        say("  title        " + r.value("title").toString());
        say("  kind         " + r.value("kind").toString());
        say(QStringLiteral("  audio        %1 s (%2 KB)")
                .arg(r.value("audio_seconds").toDouble(), 0, 'f', 1)
                .arg(qint64(r.value("audio_bytes").toDouble()) / 1024));
        say(QStringLiteral("  shots        %1").arg(r.value("shots").toInt()));
        say(QStringLiteral("  pins         %1%2").arg(pins.size()).arg(pins.isEmpty() ? "" : "  " + pins.join(", ")));
        const int apps = r.value("apps").toInt();
        say(QStringLiteral("  apps         %1 %2 of the window in front").arg(apps).arg(apps == 1 ? "span" : "spans"));
        say("  screen text  " + (text.isEmpty() ? QStringLiteral("(none)") : text.join(" | ")));
        if (r.value("project").toString() == "personal" || r.value("audio_bytes").toDouble() <= 0)
            return fail("the call is not in a project with its audio");
        return 0;
    }

    int fail(const QString& what)
    {
        std::fprintf(stderr, "zelvan-demo: %s\n", what.toUtf8().constData());
        const QList<QByteArray> lines = app_.log().split('\n');
        if (lines.size() > 1) {
            std::fprintf(stderr, "--- the last lines zelvan wrote\n");
            for (qsizetype i = std::max<qsizetype>(0, lines.size() - 30); i < lines.size(); ++i)
                std::fprintf(stderr, "%s\n", lines[i].constData());
        }
        return 1;
    }

    // "me: ada@example.com, projects [\"bramel(owner)\", …]" → "ada@example.com; projects bramel (owner), …"
    static QString signedIn(const QString& line)
    {
        const QString rest = after(line, "me: ");
        const qsizetype comma = rest.indexOf(", projects ");
        if (comma < 0)
            return rest;
        QStringList projects;
        for (const QJsonValue& p : QJsonDocument::fromJson(after(rest, ", projects ").toUtf8()).array())
            projects << p.toString().replace('(', " (");
        return rest.left(comma) + "; projects " + projects.join(", ");
    }
    static QString after(const QString& text, const QString& marker)
    {
        const qsizetype at = text.indexOf(marker);
        return at < 0 ? QString() : text.mid(at + marker.size());
    }
    static QString between(const QString& text, const QString& from, const QString& to)
    {
        const QString rest = after(text, from);
        return rest.left(rest.indexOf(to));
    }

    QTemporaryDir work_;
    JourneyDriver app_;
    QString fakePath_;
    QProcess fake_;
    QString base_;
    QLabel window_;
    const QString suite_ = QString::fromLatin1(appId) + ".demo";
    const QString service_ = QString::fromLatin1(appId) + ".demo";
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: zelvan-demo PATH-TO-ZELVAN PATH-TO-ZELVAN-FAKE-PLATFORM\n"
                     "Runs inside scripts/desktop-session.\n");
        return 2;
    }
    QApplication qapp(argc, argv);
    say("Zelvan, the whole road on a private desktop");
    Demo demo(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    return demo.run();
}
