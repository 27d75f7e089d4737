// Our HTTP client against the curl command line, side by side on the same local
// server: 200 small JSON calls, and one 200 MB upload streamed from disk.
#include "BenchTools.h"
#include "core/API.h"
#include "support/FakePlatform.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
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

long peakKiB()
{
    return BenchTools::statusKiB("VmHWM:");
}

constexpr int calls = 200;
constexpr qint64 uploadBytes = 200LL * 1024 * 1024;
const QString key = QStringLiteral("zv_bench_key");
const std::string body = R"({"app":"Screen","participants":["Ana"],"text":"agenda","title":"Weekly"})";

FakePlatform* server = nullptr;
QString uploadFile;
std::atomic<qint64> uploadedBytes{0};
std::map<std::string, std::vector<double>> seconds; // per side, every repetition
double ourPeakGrowthMiB = 0;                        // the largest over the repetitions

void record(const std::string& side, double s)
{
    seconds[side].push_back(s);
}

std::vector<std::string> curlJsonArgs()
{
    return {"-s",
            "-o",
            "/dev/null",
            "-f",
            "-X",
            "POST",
            "-H",
            "Accept: application/json",
            "-H",
            "User-Agent: Zelvan-mac/1.0",
            "-H",
            "Authorization: Bearer " + key.toStdString(),
            "-H",
            "Content-Type: application/json",
            "--data-binary",
            body,
            server->base().toStdString() + "/api/route/score"};
}

void JsonOurs(benchmark::State& state)
{
    const API api(server->base(), key);
    for (auto _ : state) {
        const double t0 = now();
        for (int i = 0; i < calls; ++i)
            benchmark::DoNotOptimize(api.routeScore("Weekly", "Screen", {"Ana"}, "agenda"));
        record("json ours", now() - t0);
    }
}

void JsonCurlOneProcess(benchmark::State& state)
{
    std::vector<std::string> args{"curl"};
    for (int i = 0; i < calls; ++i) {
        if (i > 0)
            args.push_back("--next");
        for (auto& a : curlJsonArgs())
            args.push_back(a);
    }
    for (auto _ : state) {
        const double t0 = now();
        if (!run(args))
            state.SkipWithError("curl failed");
        record("json curl, one process", now() - t0);
    }
}

void JsonCurlPerCall(benchmark::State& state)
{
    std::vector<std::string> args{"curl"};
    for (auto& a : curlJsonArgs())
        args.push_back(a);
    for (auto _ : state) {
        const double t0 = now();
        for (int i = 0; i < calls; ++i)
            if (!run(args))
                state.SkipWithError("curl failed");
        record("json curl, process per call", now() - t0);
    }
}

void UploadOurs(benchmark::State& state)
{
    const API api(server->base(), key);
    for (auto _ : state) {
        resetPeak();
        const long before = peakKiB();
        const double t0 = now();
        api.upload("POST", "/api/calls/rec%3A1/audio", uploadFile, "audio/mp4");
        record("upload ours", now() - t0);
        const double growth = double(peakKiB() - before) / 1024.0;
        state.counters["peak_growth_MiB"] = growth;
        ourPeakGrowthMiB = std::max(ourPeakGrowthMiB, growth);
        if (uploadedBytes.load() != uploadBytes)
            state.SkipWithError("server got the wrong size");
    }
    state.SetBytesProcessed(state.iterations() * uploadBytes);
}

void UploadCurl(benchmark::State& state)
{
    const std::vector<std::string> args{"curl",
                                        "-s",
                                        "-o",
                                        "/dev/null",
                                        "-f",
                                        "-X",
                                        "POST",
                                        "-T",
                                        uploadFile.toStdString(),
                                        "-H",
                                        "Accept: application/json",
                                        "-H",
                                        "User-Agent: Zelvan-mac/1.0",
                                        "-H",
                                        "Authorization: Bearer " + key.toStdString(),
                                        "-H",
                                        "Content-Type: audio/mp4",
                                        "-H",
                                        "Expect:",
                                        server->base().toStdString() + "/api/calls/rec%3A1/audio"};
    for (auto _ : state) {
        const double t0 = now();
        if (!run(args))
            state.SkipWithError("curl failed");
        record("upload curl", now() - t0);
        if (uploadedBytes.load() != uploadBytes)
            state.SkipWithError("server got the wrong size");
    }
    state.SetBytesProcessed(state.iterations() * uploadBytes);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    FakePlatform fake;
    fake.setKeepAlive(100000);
    fake.route("POST", "/api/route/score", [](const httplib::Request&, httplib::Response& res) {
        FakePlatform::reply(res, 200, R"({"score":0.5,"reasons":["title matches"]})");
    });
    fake.routeStream("POST", "/api/calls/([^/]+)/audio",
                     [](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
                         qint64 n = 0;
                         reader([&n](const char*, size_t size) {
                             n += qint64(size);
                             return true;
                         });
                         uploadedBytes = n;
                         FakePlatform::reply(res, 200, "{\"bytes\":" + std::to_string(n) + "}");
                     });
    fake.start();
    server = &fake;

    QTemporaryDir dir;
    uploadFile = dir.filePath("upload.m4a");
    {
        QFile f(uploadFile);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray chunk(1024 * 1024, '\0');
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char(i * 131 % 251);
        for (qint64 written = 0; written < uploadBytes; written += chunk.size())
            f.write(chunk);
    }

    // One warm-up call each, so that neither side pays for the first connection alone.
    API(fake.base(), key).routeScore("w", "w", {}, "");
    std::vector<std::string> warm{"curl"};
    for (auto& a : curlJsonArgs())
        warm.push_back(a);
    run(warm);

    const int reps = 5;
    benchmark::RegisterBenchmark("json_200_calls/ours", JsonOurs)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("json_200_calls/curl_one_process", JsonCurlOneProcess)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("json_200_calls/curl_process_per_call", JsonCurlPerCall)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("upload_200MB/curl", UploadCurl)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("upload_200MB/ours", UploadOurs)
        ->Iterations(1)
        ->Repetitions(reps)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    struct rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    const double ours = median(seconds["json ours"]);
    const double curlOne = median(seconds["json curl, one process"]);
    const double curlEach = median(seconds["json curl, process per call"]);
    const double upOurs = median(seconds["upload ours"]);
    const double upCurl = median(seconds["upload curl"]);
    const double mib = double(uploadBytes) / (1024.0 * 1024.0);
    std::printf("\nMedians of %d runs (lower time is better):\n", reps);
    if (ours > 0 && curlOne > 0 && curlEach > 0) {
        std::printf("  %d JSON calls   ours %.1f ms (%.3f ms/call) | curl, one process %.1f ms (%.3f ms/call) | "
                    "curl, a process per call %.1f ms (%.3f ms/call)\n",
                    calls, ours * 1e3, ours * 1e3 / calls, curlOne * 1e3, curlOne * 1e3 / calls, curlEach * 1e3,
                    curlEach * 1e3 / calls);
        std::printf(
            "  per-call time ratio ours/curl: %.2f (one curl process), %.2f (a process per call); target <= 1.20\n",
            ours / curlOne, ours / curlEach);
    }
    if (upOurs > 0 && upCurl > 0) {
        std::printf(
            "  200 MB upload   ours %.0f MiB/s | curl %.0f MiB/s | throughput ratio ours/curl %.2f; target >= 0.90\n",
            mib / upOurs, mib / upCurl, upCurl / upOurs);
        std::printf(
            "  upload memory   our peak grew by %.1f MiB during the upload; curl's peak resident size %.1f MiB\n",
            ourPeakGrowthMiB, double(children.ru_maxrss) / 1024.0);
    }
    return 0;
}
