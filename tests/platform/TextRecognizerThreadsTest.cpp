// Tesseract parallelises with OpenMP, which on a small machine makes every page
// several times slower. A desktop session starts the application with nothing
// in its environment that limits OpenMP: reading text must keep to the thread
// that asks all the same.
#include "platform/TextRecognizer.h"

#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

TEST(TextRecognizerThreads, ReadsOnTheAskingThreadAlone)
{
    ASSERT_TRUE(qEnvironmentVariableIsEmpty("OMP_THREAD_LIMIT")) << "the test runs with a session's environment";
    QImage page(1600, 900, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(22);
        p.setFont(font);
        for (int line = 0; line < 24; ++line)
            p.drawText(40, 40 + 34 * line,
                       QStringLiteral("Line %1 of the quarterly report lists the numbers we agreed on").arg(line));
    }

    const int before = threadCount();
    std::atomic<bool> done{false};
    std::vector<TextLine> lines;
    std::thread reader([&] {
        lines = TextRecognizer::recognize(page, TextRecognizer::Mode::Accurate);
        done = true;
    });
    int most = 0;
    while (!done) {
        most = std::max(most, threadCount());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    reader.join();
    EXPECT_GE(lines.size(), 20u);
    EXPECT_LE(most, before + 1) << "threads beside the reader while it read: " << most - before - 1;
}

} // namespace
