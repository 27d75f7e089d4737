// Filing a 60-minute session (180 screenshots, 20 pins, a 30 MB mix) to a local
// server: our payload writing and three-step upload against the curl command
// line sending the same files (the payload already written) in one process.
#include "BenchTools.h"
#include "session/Frames.h"
#include "session/Payload.h"
#include "session/Session.h"
#include "session/Uploader.h"
#include "support/FakePlatform.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using BenchTools::median;
using BenchTools::now;
using BenchTools::resetPeak;
using BenchTools::run;
using BenchTools::statusKiB;

constexpr int shots = 180, pins = 20;
constexpr qint64 mixBytes = 30LL * 1024 * 1024;

FakePlatform* server = nullptr;
std::shared_ptr<Session> session;
std::atomic<qint64> payloadBytes{0}, audioBytes{0};
std::map<std::string, std::vector<double>> seconds;
double ourPeakGrowthMiB = 0;

// A screenshot-like JPEG: blocks of colour and lines of text, different each time.
QByteArray screenshot(int i)
{
    QImage image(1440, 900, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QRandomGenerator gen(quint32(i + 1));
    for (int b = 0; b < 12; ++b)
        p.fillRect(gen.bounded(1300), gen.bounded(800), 40 + gen.bounded(300), 20 + gen.bounded(200),
                   QColor::fromRgb(gen.bounded(256), gen.bounded(256), gen.bounded(256)));
    p.setPen(Qt::black);
    for (int line = 0; line < 40; ++line)
        p.drawText(40, 30 + line * 21,
                   QStringLiteral("Slide %1, line %2: quarterly figures and the annual plan %3")
                       .arg(i)
                       .arg(line)
                       .arg(gen.generate()));
    p.end();
    return Frames::jpeg(image, 0.6).value_or(QByteArray());
}

std::shared_ptr<Session> makeSession(const QString& base)
{
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-3600);
    auto s = Session::create("Quarterly review", "Zoom", std::nullopt, start, base);
    std::vector<OcrEntry> ocr;
    std::vector<AppSpan> apps;
    for (int i = 0; i < shots; ++i) {
        s->addShot(i * 20.0, screenshot(i));
        ocr.push_back({i * 20.0, "Zoom", QString("quarterly figures and the annual plan ").repeated(12)});
    }
    for (int i = 0; i < pins; ++i)
        s->addPin(i * 180.0 + 5, QStringLiteral("pin %1").arg(i), screenshot(1000 + i),
                  i % 3 == 0 ? Session::PinKind::automatic : Session::PinKind::screenshot);
    for (int i = 0; i < 200; ++i)
        AppSpan::merge(apps, i * 18.0, i % 2 ? "Zoom" : "Browser", QStringLiteral("window %1").arg(i % 7));
    SessionMeta& m = s->meta();
    m.ocr = ocr;
    m.apps = apps;
    for (int i = 0; i < 400; ++i) {
        m.levelsMic.push_back({i * 9.0, i * 9.0 + 4});
        m.levelsTab.push_back({i * 9.0 + 4.5, i * 9.0 + 8});
    }
    m.ended = start.addSecs(3600);
    m.kind = "call";
    m.audioFile = "mixed.m4a";
    QFile mix(s->path("mixed.m4a"));
    mix.open(QIODevice::WriteOnly);
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (qint64 written = 0; written < mixBytes; written += chunk.size()) {
        for (char& c : chunk)
            c = char(gen.bounded(256));
        mix.write(chunk);
    }
    s->save();
    return s;
}

void UploadOurs(benchmark::State& state)
{
    const API api(server->base(), "zv_bench_key");
    for (auto _ : state) {
        SessionMeta& m = session->meta();
        m.callId.reset();
        m.uploadedServer.reset();
        m.audioUploaded = false;
        m.processed = false;
        resetPeak();
        const long idle = statusKiB("VmRSS:");
        const double t0 = now();
        Uploader::upload(*session, api, QStringLiteral("Ana"), true, true);
        seconds["ours"].push_back(now() - t0);
        const double w0 = now();
        QFile::remove(Payload::write(*session, QStringLiteral("Ana")));
        seconds["payload"].push_back(now() - w0);
        const double s0 = now();
        session->save();
        seconds["save"].push_back(now() - s0);
        const double growth = double(statusKiB("VmHWM:") - idle) / 1024.0;
        state.counters["peak_growth_MiB"] = growth;
        ourPeakGrowthMiB = std::max(ourPeakGrowthMiB, growth);
        if (audioBytes.load() != mixBytes)
            state.SkipWithError("server got the wrong audio size");
    }
}

void UploadCurl(benchmark::State& state)
{
    const std::string payload = Payload::write(*session, QStringLiteral("Ana")).toStdString();
    const std::string base = server->base().toStdString();
    std::vector<std::string> args{"curl"};
    const auto request = [&](const std::vector<std::string>& extra, const std::string& url) {
        if (args.size() > 1)
            args.push_back("--next");
        for (const char* a : {"-s", "-o", "/dev/null", "-f", "-X", "POST", "-H", "Accept: application/json", "-H",
                              "User-Agent: Zelvan-mac/1.0", "-H", "Authorization: Bearer zv_bench_key", "-H", "Expect:"})
            args.push_back(a);
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(url);
    };
    request({"-T", payload, "-H", "Content-Type: application/json"}, base + "/api/calls");
    request({"-T", session->path("mixed.m4a").toStdString(), "-H", "Content-Type: audio/mp4"},
            base + "/api/calls/rec%3A1/audio");
    // An empty body with its Content-Length, as our client sends it.
    request({"--data-binary", "", "-H", "Content-Type:"}, base + "/api/calls/rec%3A1/process");
    for (auto _ : state) {
        const double t0 = now();
        if (!run(args))
            state.SkipWithError("curl failed");
        seconds["curl"].push_back(now() - t0);
        if (audioBytes.load() != mixBytes)
            state.SkipWithError("server got the wrong audio size");
    }
    QFile::remove(QString::fromStdString(payload));
}

// Streams a body away, counting its bytes.
FakePlatform::StreamHandler counting(std::atomic<qint64>& into, std::string answer)
{
    return [&into, answer](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
        qint64 n = 0;
        reader([&n](const char*, size_t size) {
            n += qint64(size);
            return true;
        });
        into = n;
        FakePlatform::reply(res, 200, answer);
    };
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // fonts for the screenshots
    FakePlatform fake;
    fake.setKeepAlive(100000);
    fake.routeStream("POST", "/api/calls", counting(payloadBytes, R"({"id":"rec:1"})"));
    fake.routeStream("POST", "/api/calls/([^/]+)/audio", counting(audioBytes, R"({"ok":true})"));
    fake.route("POST", "/api/calls/([^/]+)/process", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"ok":true})");
    });
    fake.start();
    server = &fake;

    QTemporaryDir dir;
    session = makeSession(dir.path());
    qint64 images = 0;
    for (const auto& s : session->meta().shots)
        images += QFileInfo(session->path(s.file)).size();
    for (const auto& p : session->meta().pins)
        images += QFileInfo(session->path(p.file)).size();

    const int reps = 5;
    benchmark::RegisterBenchmark("file_60min_session/curl", UploadCurl)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("file_60min_session/ours", UploadOurs)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    struct rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    const double ours = median(seconds["ours"]);
    const double curl = median(seconds["curl"]);
    std::printf("\nSession: %d screenshots and %d pins (%.1f MiB of JPEG, payload %.1f MiB), mix %.0f MiB\n", shots,
                pins, double(images) / 1048576.0, double(payloadBytes.load()) / 1048576.0, double(mixBytes) / 1048576.0);
    if (ours > 0 && curl > 0) {
        std::printf("Medians of %d runs (lower is better):\n", reps);
        std::printf(
            "  total time      ours %.0f ms (payload writing included) | curl %.0f ms (payload already on disk)\n",
            ours * 1e3, curl * 1e3);
        std::printf("  of ours, writing the payload takes %.0f ms, and each of the 4 saves of the progress in "
                    "\"meta.json\" %.1f ms\n",
                    median(seconds["payload"]) * 1e3, median(seconds["save"]) * 1e3);
        std::printf("  time ratio ours/curl: %.2f; target <= 1.20\n", ours / curl);
        std::printf("  memory          our peak grew by %.1f MiB above the idle size; target < 50 MiB "
                    "(curl's peak resident size %.1f MiB)\n",
                    ourPeakGrowthMiB, double(children.ru_maxrss) / 1024.0);
    }
    return 0;
}
