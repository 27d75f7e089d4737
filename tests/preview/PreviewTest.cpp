// The executable's preview images and icon set, written into temporary folders
// and probed: every file there, at the size its view implies, not blank, and
// nothing of the throw-away settings or keyring item left behind.
#include "board/BoardLook.h"
#include "core/Keychain.h"
#include "core/Settings.h"
#include "preview/BoardPreview.h"
#include "preview/IconSet.h"
#include "preview/Previews.h"
#include "support/TestSupport.h"
#include "ui/Pal.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Outcome {
    QString err;
    int exitCode = -1;
};

Outcome zelvan(const QStringList& args)
{
    QProcess p;
    p.start(ZELVAN_EXECUTABLE, args);
    EXPECT_TRUE(p.waitForFinished(300'000)) << args.join(' ').toStdString();
    return {QString::fromUtf8(p.readAllStandardError()), p.exitCode()};
}

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

bool near(const QColor& a, const QColor& b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

// Distinct colours at a 9 × 9 grid of points spread over the image.
int colours(const QImage& image)
{
    QSet<QRgb> seen;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 9; ++j)
            seen.insert(image.pixel(image.width() * i / 10, image.height() * j / 10));
    return seen.size();
}

// One run of the preview mode, shared by the tests that only read its images.
class Previews : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        // A folder that does not exist yet, below one that does.
        folder_ = dir_->filePath(QStringLiteral("a/b"));
        const Outcome r = zelvan({"--render-previews", folder_});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static QImage image(const QString& name) { return load(QDir(folder_).filePath(name)); }

    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString folder_;
};

} // namespace

TEST_F(Previews, EveryFileIsWrittenAtTheSizeItsViewImplies)
{
    // Fixed sizes in points: views drawn alone are twice their size; views
    // through the snapshot helper also get 24 points of padding on each side.
    // 0: the height follows the text, checked only to be whole points.
    const struct {
        const char* file;
        int width;
        int height;
    } fixed[] = {
        {"wrap.png", 480 * 2, 460 * 2},
        {"settings-signedout.png", 600 * 2, 730 * 2},
        {"settings-code.png", 600 * 2, 730 * 2},
        {"settings-signedin.png", 600 * 2, 730 * 2},
        {"board-window.png", BoardPreview::width * 2, BoardPreview::height * 2},
        {"nudge-call.png", (330 + 2 * 16) * 2, 0},
        {"nudge-route.png", (330 + 2 * 16) * 2, 0},
        {"nudge-tip.png", (330 + 2 * 16) * 2, 0},
        {"popover-dark.png", (348 + 48) * 2, 0},
        {"popover-recording-light.png", (348 + 48) * 2, 0},
        {"prompt-saved-light.png", (330 + 2 * 16 + 48) * 2, 0},
    };
    for (const auto& f : fixed) {
        const QImage i = image(f.file);
        ASSERT_FALSE(i.isNull()) << f.file;
        EXPECT_EQ(i.width(), f.width) << f.file;
        if (f.height) {
            EXPECT_EQ(i.height(), f.height) << f.file;
        }
    }
    const QStringList files = ::Previews::allFiles();
    EXPECT_EQ(files.size(), 8 + 21);
    EXPECT_EQ(QDir(folder_).entryList(QDir::Files).size(), files.size());
    for (const QString& name : files) {
        const QImage i = image(name);
        ASSERT_FALSE(i.isNull()) << name.toStdString();
        EXPECT_EQ(i.width() % 2, 0) << name.toStdString();
        EXPECT_EQ(i.height() % 2, 0) << name.toStdString();
        EXPECT_GE(i.width(), 40) << name.toStdString();
        EXPECT_GE(i.height(), 40) << name.toStdString();
    }
    // The same sample drawn in both schemes has the same size.
    for (const char* prefix : {"popover-", "popover-recording-", "hud-pill-", "hud-card-", "hud-dot-", "prompt-call-",
                               "prompt-where-", "prompt-review-", "prompt-tip-", "prompt-saved-"})
        EXPECT_EQ(image(QString(prefix) + "dark.png").size(), image(QString(prefix) + "light.png").size()) << prefix;
}

TEST_F(Previews, NoImageIsBlank)
{
    for (const QString& name : ::Previews::allFiles())
        EXPECT_GE(colours(image(name)), 2) << name.toStdString();

    // Views drawn alone: light ones opaque, dark ones over nothing.
    EXPECT_EQ(image("wrap.png").pixelColor(1, 1).alpha(), 255);
    EXPECT_EQ(image("settings-signedin.png").pixelColor(1, 1).alpha(), 255);
    EXPECT_EQ(image("nudge-call.png").pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image("pill-listening.png").pixelColor(0, 0).alpha(), 0);

    // Snapshots: the backdrop in the padding, the view inside it.
    const QImage popover = image("popover-dark.png");
    EXPECT_TRUE(near(popover.pixelColor(10, 10), QColor(0x2A, 0x2D, 0x33)));
    EXPECT_FALSE(near(popover.pixelColor(popover.width() / 2, popover.height() / 2), QColor(0x2A, 0x2D, 0x33)));
    const QImage light = image("popover-light.png");
    EXPECT_TRUE(near(light.pixelColor(10, 10), QColor(0xD9, 0xDC, 0xE1)));
    EXPECT_FALSE(near(light.pixelColor(light.width() / 2, light.height() / 2), QColor(0xD9, 0xDC, 0xE1)));
}

TEST_F(Previews, TheBoardWindowHasItsChromeAndFourColumnsOfCards)
{
    const QImage board = image("board-window.png");
    const Pal& p = Pal::darkPal();
    // The chrome band, the page below it.
    EXPECT_TRUE(near(board.pixelColor(2 * 300, 2 * 4), BoardLook::darkBG));
    EXPECT_TRUE(near(board.pixelColor(2 * 8, 2 * 600), p.bg));
    // The columns share the page's width less its padding and three gaps of 14.
    const qreal column = (BoardPreview::width - 2 * BoardPreview::pagePadding - 3 * 14) / 4.0;
    auto columnX = [&](int i) { return BoardPreview::pagePadding + i * (column + 14) + column / 2; };
    // Each card is 54 high with 8 between; sample each card's middle and the
    // page below the last one.
    const int counts[] = {4, 3, 3, 2};
    int cardsTop = -1;
    for (int y = BoardPreview::chromeHeight + 60; y < BoardPreview::height && cardsTop < 0; ++y)
        if (near(board.pixelColor(int(2 * columnX(0)), 2 * y), p.bg1, 2))
            cardsTop = y;
    ASSERT_GT(cardsTop, 0);
    for (int i = 0; i < 4; ++i) {
        const int x = int(2 * columnX(i));
        for (int c = 0; c < counts[i]; ++c)
            EXPECT_TRUE(near(board.pixelColor(x, 2 * (cardsTop + 27 + c * 62)), p.bg1, 2)) << i << " " << c;
        EXPECT_TRUE(near(board.pixelColor(x, 2 * (cardsTop + 27 + counts[i] * 62)), p.bg, 2)) << i;
    }
    // Only the first card of "Doing" has the accent outline: its top edge.
    auto edge = [&](int i, int c) { return board.pixelColor(int(2 * columnX(i)), 2 * (cardsTop - 1 + c * 62) + 1); };
    EXPECT_GT(edge(1, 0).green(), edge(0, 0).green() + 20);
    EXPECT_TRUE(near(edge(0, 0), edge(1, 1), 3));
    EXPECT_TRUE(near(edge(2, 0), edge(1, 1), 3));
}

TEST(PreviewState, AStaleSuiteAndAFoldedUpNextChangeNothingAndNothingIsLeft)
{
    QTemporaryDir dir;
    ASSERT_EQ(zelvan({"--render-previews", dir.filePath("clean")}).exitCode, 0);

    // What a crashed earlier run could leave: a signed-in preview suite; and the
    // user's own "Up next" folded.
    {
        auto stale = Settings::suite(::Previews::suiteName());
        stale->setValue(Settings::name(Settings::Key::accountEmail), "someone@example.com");
        stale->setValue(Settings::name(Settings::Key::accountName), "Someone");
        auto own = Settings::standard();
        own->setValue("ui.upNextOpen", false);
    }
    Keychain::setService(QStringLiteral("zelvan-preview-test"));
    ASSERT_TRUE(Keychain::set(Keychain::accountItem, "zv_ownkeyx"));

    const QString again = dir.filePath("again");
    ASSERT_EQ(zelvan({"--render-previews", again}).exitCode, 0);
    for (const char* name : {"settings-signedout.png", "popover-dark.png", "popover-light.png"})
        EXPECT_EQ(load(dir.filePath("clean/") + name), load(QDir(again).filePath(name))) << name;

    EXPECT_FALSE(QFile::exists(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Zelvan/"
                               + ::Previews::suiteName() + ".conf"));
    EXPECT_EQ(Settings::standard()->value("ui.upNextOpen").toBool(), false);
    EXPECT_EQ(Keychain::get(Keychain::accountItem), QString("zv_ownkeyx"));
    Keychain::setService(::Previews::suiteName());
    const Keychain::Read left = Keychain::read(Keychain::accountItem);
    EXPECT_TRUE(left.answered);
    EXPECT_FALSE(left.value.has_value());
    Keychain::setService(QStringLiteral("zelvan-preview-test"));
    Keychain::remove(Keychain::accountItem);
}

TEST(IconSet, TenFilesAtTheirSizesWithTheMarkOnATransparentGround)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("new/icons");
    const Outcome r = zelvan({"--make-iconset", folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 10);
    for (const IconSet::Size& s : IconSet::sizes) {
        const QString name = IconSet::fileName(s);
        const QImage icon = load(QDir(folder).filePath(name));
        ASSERT_EQ(icon.size(), QSize(s.pixels, s.pixels)) << name.toStdString();
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0) << name.toStdString();
        // The slash crosses the centre in the brand's lime; the square's dark
        // ground lies a little in from its top left corner.
        const QColor centre = icon.pixelColor(s.pixels / 2, s.pixels / 2);
        EXPECT_GT(centre.green(), 150) << name.toStdString();
        const QColor ground = icon.pixelColor(s.pixels * 22 / 100, s.pixels * 22 / 100);
        EXPECT_EQ(ground.alpha(), 255) << name.toStdString();
        EXPECT_LT(ground.lightness(), 60) << name.toStdString();
    }
    EXPECT_EQ(IconSet::fileName(IconSet::sizes.back()), "icon_512x512@2x.png");
}

TEST(PreviewModes, AMissingFolderOrAFailedWriteIsAnErrorNotSuccess)
{
    QTemporaryDir dir;
    // A plain file where the folder should be: nothing can be written below it.
    const QString blocked = dir.filePath("blocked");
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const struct {
        QStringList args;
        int exitCode;
        QStringList said;
    } cases[] = {
        {{"--render-previews"}, 2, {"zelvan: --render-previews needs a folder", "Usage: zelvan"}},
        {{"--make-iconset"}, 2, {"zelvan: --make-iconset needs a folder", "Usage: zelvan"}},
        {{"--render-previews", blocked},
         1,
         {"could not be written", "wrap.png", "board-window.png", "hud-dot-light.png"}},
        {{"--make-iconset", blocked}, 1, {"could not be written", "icon_16x16.png", "icon_512x512@2x.png"}},
    };
    for (const auto& c : cases) {
        const Outcome r = zelvan(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        for (const QString& s : c.said)
            EXPECT_TRUE(r.err.contains(s)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
}

TEST(PreviewModes, WithoutAKeyringTheSignedInImageIsMissingAndNamed)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("previews");
    QDir().mkpath(folder);
    // A file an earlier run left behind.
    writeFile(QDir(folder).filePath("settings-signedin.png"), "stale");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
    p.setProcessEnvironment(env);
    p.start(ZELVAN_EXECUTABLE, {"--render-previews", folder});
    ASSERT_TRUE(p.waitForFinished(300'000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("could not be written")) << err.toStdString();
    EXPECT_TRUE(err.contains("settings-signedin.png")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath("settings-signedin.png")));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("settings-signedout.png")));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("board-window.png")));
}
