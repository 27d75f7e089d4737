// Text recognition against the tesseract command line on the same PNGs, in one
// run: a 1440×900 slide and a 1920×1080 desktop, accurate and fast. Our side
// decodes the PNG too; its engines are loaded once, before timing, as in the app.
#include "session/OCR.h"
#include "support/TextImages.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::map<std::string, double> millis; // mean real time per benchmark name

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration)
                millis[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void ours(benchmark::State& state, const QString& png, bool fast)
{
    for (auto _ : state) {
        const OCR::Reading r = OCR::read(QImage(png), fast);
        benchmark::DoNotOptimize(r.text.size());
    }
}

void cli(benchmark::State& state, const QString& png)
{
    for (auto _ : state) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start("tesseract", {png, "-"});
        if (!p.waitForFinished(60'000) || p.exitCode() != 0) {
            state.SkipWithError("the tesseract command line failed");
            return;
        }
    }
}

double at(const std::string& name)
{
    const auto it = millis.find(name);
    return it == millis.end() ? 0.0 : it->second;
}

void summary(const char* image)
{
    const std::string base = std::string("ocr/") + image + "/";
    const double acc = at(base + "accurate"), fast = at(base + "fast"), tool = at(base + "tesseract-cli");
    std::printf("%-8s accurate %8.1f ms   fast %8.1f ms   tesseract CLI %8.1f ms   "
                "accurate/CLI %.2f   fast/accurate %.2f\n",
                image, acc, fast, tool, tool > 0 ? acc / tool : 0.0, acc > 0 ? fast / acc : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    // The tesseract command line keeps to one thread as our recogniser does;
    // its OpenMP reads the limit as the program loads.
    if (qEnvironmentVariableIsEmpty("OMP_THREAD_LIMIT"))
        qputenv("OMP_THREAD_LIMIT", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    const QString slide = dir.filePath("slide.png");
    const QString desktop = dir.filePath("desktop.png");
    TextImages::slide("Quarterly roadmap", {"Launch console polish", "Leaderboard automation"}).save(slide);
    TextImages::desktop().save(desktop);

    // Load both engines of this thread before timing.
    OCR::read(QImage(slide), false);
    const QString quick = OCR::text(QImage(slide), true);
    std::printf("slide, accurate: %s\nslide, fast: %s\n", qPrintable(OCR::text(QImage(slide)).replace('\n', " | ")),
                qPrintable(QString(quick).replace('\n', " | ")));

    for (const auto& [name, png] : {std::pair{"slide", slide}, std::pair{"desktop", desktop}}) {
        const std::string base = std::string("ocr/") + name + "/";
        benchmark::RegisterBenchmark((base + "accurate").c_str(), ours, png, false)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((base + "fast").c_str(), ours, png, true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((base + "tesseract-cli").c_str(), cli, png)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    Collector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nTargets on the slide: accurate/CLI <= 1.0, fast/accurate <= 0.25\n");
    summary("slide");
    summary("desktop");
    return 0;
}
