// The board window's pure pieces: page colour, zoom, the failure page, download
// names and the taskbar rule.
#include "board/BoardLook.h"
#include "board/DockPolicy.h"
#include "board/DownloadFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <gtest/gtest.h>
#include <set>

namespace {

TEST(BoardLook, PageColours)
{
    EXPECT_EQ(BoardLook::parseCSSColor("rgb(255, 255, 255)"), QColor(255, 255, 255));
    EXPECT_EQ(BoardLook::parseCSSColor("rgba(10, 20, 30, 0.6)"), QColor(10, 20, 30));
    EXPECT_EQ(BoardLook::parseCSSColor("rgb(7,8,11)"), QColor(7, 8, 11));
    for (const char* none : {"rgba(0, 0, 0, 0)", "rgba(1, 2, 3, 0.5)", "rgb(1, 2)", "transparent", ""})
        EXPECT_FALSE(BoardLook::parseCSSColor(none)) << none;

    EXPECT_DOUBLE_EQ(BoardLook::luminance(Qt::white), 1.0);
    EXPECT_NEAR(BoardLook::luminance(BoardLook::darkBG), 0.03, 0.005);
    EXPECT_TRUE(BoardLook::isLight(1.0));
    EXPECT_TRUE(BoardLook::isLight(0.51));
    EXPECT_FALSE(BoardLook::isLight(0.5));
    EXPECT_FALSE(BoardLook::isLight(BoardLook::luminance(BoardLook::darkBG)));
}

TEST(BoardLook, ZoomStopsAtItsLimits)
{
    EXPECT_DOUBLE_EQ(BoardLook::zoomIn(2.45), 2.5);
    EXPECT_DOUBLE_EQ(BoardLook::zoomIn(2.5), 2.5);
    EXPECT_DOUBLE_EQ(BoardLook::zoomOut(0.55), 0.5);
    EXPECT_DOUBLE_EQ(BoardLook::zoomOut(0.5), 0.5);
    EXPECT_NEAR(BoardLook::zoomIn(1.0), 1.1, 1e-9);
}

TEST(BoardLook, FailurePageShowsHostAndErrorAsText)
{
    const QString html = BoardLook::failurePage("a<b&\"c", "<script>x</script> & 'y'");
    EXPECT_TRUE(html.startsWith("<!doctype html><meta charset=\"utf-8\">"));
    EXPECT_TRUE(html.contains(QString::fromUtf8("<div><b>Can\u2019t reach a&lt;b&amp;&quot;c</b>")));
    EXPECT_TRUE(html.contains("&lt;script&gt;x&lt;/script&gt; &amp; 'y'"));
    EXPECT_FALSE(html.contains("<script>"));
    EXPECT_TRUE(html.endsWith("to try again.</div>"));
}

TEST(DownloadFiles, SanitisedNames)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {"a/b.txt", "a-b.txt"},
        {"   ", "download"},
        {"", "download"},
        {".", "download"},
        {"..", "download"},
        {"../../etc/passwd", "-..-etc-passwd"},
        {".bashrc", "bashrc"},
        {"  report.pdf\n", "report.pdf"},
        {"a\x01\tb\x7f.txt", "ab.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadFiles::sanitise(c.in), c.out) << c.in.toStdString();

    const QString longName = QString(300, u'é') + ".pdf";
    const QString fitted = DownloadFiles::sanitise(longName);
    EXPECT_LE(fitted.toUtf8().size(), 250);
    EXPECT_TRUE(fitted.endsWith("é.pdf"));
}

TEST(DownloadFiles, UniqueNamesAreReserved)
{
    QTemporaryDir dir;
    const auto make = [&](const QString& name) { writeFile(dir.filePath(name), "x"); };
    make("report.pdf");
    make("report 2.pdf");
    make("notes");
    make("archive.tar.gz");
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.path(), "report.pdf"), dir.filePath("report 3.pdf"));
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.path(), "notes"), dir.filePath("notes 2"));
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.path(), "archive.tar.gz"), dir.filePath("archive.tar 2.gz"));
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.path(), "fresh.txt"), dir.filePath("fresh.txt"));
    // The name is taken from the moment it is handed out.
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.path(), "fresh.txt"), dir.filePath("fresh 2.txt"));
    EXPECT_EQ(DownloadFiles::uniqueFile(dir.filePath("missing"), "a.txt"), QString());

    // Many at once never share a path.
    QList<QString> names;
    for (int i = 0; i < 16; ++i)
        names << "same.bin";
    const QList<QString> paths = QtConcurrent::blockingMapped(names, [&](const QString& n) {
        return DownloadFiles::uniqueFile(dir.path(), n);
    });
    EXPECT_EQ(std::set<QString>(paths.begin(), paths.end()).size(), 16u);
}

TEST(DockPolicy, FollowsTheBoardWindow)
{
    using A = DockPolicy::Activation;
    EXPECT_EQ(DockPolicy::wanted(true), A::regular);
    EXPECT_EQ(DockPolicy::wanted(false), A::accessory);
    EXPECT_EQ(DockPolicy::change(A::regular, true), std::nullopt);
    EXPECT_EQ(DockPolicy::change(A::accessory, true), A::regular);
    EXPECT_EQ(DockPolicy::change(A::regular, false), A::accessory);
    EXPECT_EQ(DockPolicy::change(A::accessory, false), std::nullopt);
}

} // namespace
