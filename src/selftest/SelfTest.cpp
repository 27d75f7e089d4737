#include "selftest/SelfTest.h"

#include "core/Log.h"
#include "platform/Error.h"
#include "selftest/OutFolder.h"
#include "selftest/Live.h"
#include "selftest/Report.h"
#include "selftest/Suites.h"
#include "selftest/ThrowAway.h"

#include <QGuiApplication>
#include <charconv>
#include <cstdio>
#include <exception>
#include <thread>

namespace {

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

Report& theReport()
{
    static Report report(printLine);
    return report;
}

// A suite that ends on an exception says so as a failed check, so a run that
// stopped early can never end in "ALL PASSED".
template <typename F>
void guarded(const QString& suite, F&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        SelfTest::check(false, suite + QStringLiteral(" stopped early"), SelfTest::describe(e));
    } catch (...) {
        SelfTest::check(false, suite + QStringLiteral(" stopped early"), QStringLiteral("unknown error"));
    }
}

} // namespace

namespace SelfTest {

Report& report()
{
    return theReport();
}

void check(bool ok, const QString& name, const QString& detail)
{
    theReport().check(ok, name, detail);
}

QString describe(const std::exception& e)
{
    if (const auto* err = dynamic_cast<const Error*>(&e))
        return err->description();
    return QString::fromUtf8(e.what());
}

std::optional<QString> arg(const QStringList& args, const QString& name)
{
    const qsizetype i = args.indexOf(name);
    if (i < 0 || i + 1 >= args.size())
        return std::nullopt;
    return args[i + 1];
}

std::optional<QString> outFolder(const QStringList& args)
{
    auto out = arg(args, QStringLiteral("--out"));
    if (out && out->startsWith(QStringLiteral("--")))
        return std::nullopt;
    return out;
}

QString shortest(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    QString s = QString::fromLatin1(buf, int(res.ptr - buf));
    if (!s.contains(u'.') && !s.contains(u'e') && !s.contains(u'n') && !s.contains(u'i'))
        s += QStringLiteral(".0");
    return s;
}

QString quotedList(const QStringList& items)
{
    QStringList quoted;
    for (const QString& i : items)
        quoted << u'"' + i + u'"';
    return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

QString spanList(const std::vector<Span>& spans)
{
    QStringList items;
    for (const Span& s : spans)
        items << shortest(s.t) + QStringLiteral("–") + shortest(s.end);
    return quotedList(items);
}

int run(const QStringList& args)
{
    const OutFolder::Prepared folder = OutFolder::prepare(outFolder(args));
    if (folder.error) {
        std::fprintf(stderr, "zelvan --selftest: %s\n", folder.error->toUtf8().constData());
        return 2;
    }
    // Whatever an earlier run left in the throw-away stores goes first.
    ThrowAway::sweep();

    RunContext ctx;
    ctx.out = folder.path;
    ctx.args = args;
    theReport().header(folder.path);

    guarded(QStringLiteral("audio checks"), [&] { audioChecks(ctx); });
    guarded(QStringLiteral("capture checks"), [&] { captureChecks(ctx); });
    guarded(QStringLiteral("routing checks"), [&] { routingChecks(ctx); });
    guarded(QStringLiteral("slide checks"), [&] { slideChecks(ctx); });
    guarded(QStringLiteral("session checks"), [&] { sessionChecks(ctx); });
    guarded(QStringLiteral("work-day and settings checks"), [&] { workdayChecks(ctx); });
    guarded(QStringLiteral("key-phrase, popover and feed checks"), [] { phraseChecks(); });
    guarded(QStringLiteral("coach and call checks"), [] { coachChecks(); });

    guarded(QStringLiteral("server checks"), [&] { serverChecks(ctx); });
    guarded(QStringLiteral("platform checks"), [&] { platformChecks(ctx); });

    guarded(QStringLiteral("board checks"), [] { boardChecks(); });

    ThrowAway::sweep();
    return theReport().summary();
}

int main(int argc, char** argv, const QStringList& args)
{
    // Fonts and images need an application object; no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt would take "--platform URL" for its own platform plugin option: it
    // sees the program name only.
    (void)argc;
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    int code = 1;
    // The run works on its own thread; the main thread runs the event loop, where
    // components such as the to-do store apply their answers.
    std::thread worker([&] {
        code = run(args);
        QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
    slogFlush();
    return code;
}

} // namespace SelfTest
