// Encoding two 60-minute mono tracks and mixing them, ours against the ffmpeg
// command line on the same input, in one run. Times are wall-clock; the machine
// is shared, so the ratio is what counts. The mix runs in a child process of its
// own on each side so that its peak memory can be read.
//
//   bench_audio [--minutes N]
#include "session/MonoWriter.h"
#include "session/Mixer.h"
#include "BenchTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int rate = 48000;

// Speech-like input: bursts of two tones with a little noise, pauses between,
// the two sides taking turns.
void makeTrack(const QString& path, double minutes, bool mic)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write " + path.toStdString());
    const int64_t frames = int64_t(minutes * 60 * rate);
    std::vector<float> block(rate);
    uint32_t noise = mic ? 12345u : 54321u;
    for (int64_t at = 0; at < frames; at += rate) {
        const int64_t n = std::min<int64_t>(rate, frames - at);
        for (int64_t i = 0; i < n; ++i) {
            const double t = double(at + i) / rate;
            const bool speaking = (int64_t(t / 4) % 2 == 0) != mic;
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (double(noise >> 8) / double(1 << 24) - 0.5) * 0.01;
            const double voice = speaking
                ? 0.15 * std::sin(2 * M_PI * (mic ? 220 : 180) * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t))
                    + 0.05 * std::sin(2 * M_PI * 1250 * t)
                : 0.0;
            block[size_t(i)] = float(voice + hiss);
        }
        out.write(reinterpret_cast<const char*>(block.data()), qint64(n * sizeof(float)));
    }
}

// Our side of the encoding: blocks of 0.1 s through the track writer, as the recorder feeds it.
double encodeOurs(const QString& raw, const QString& m4a)
{
    QFile in(raw);
    in.open(QIODevice::ReadOnly);
    const auto start = std::chrono::steady_clock::now();
    MonoWriter writer(m4a);
    PcmBuffer block{rate, 1, std::vector<float>(4800)};
    double t = 0;
    for (;;) {
        const qint64 got = in.read(reinterpret_cast<char*>(block.samples.data()), 4800 * sizeof(float));
        if (got <= 0)
            break;
        block.samples.resize(size_t(got) / sizeof(float));
        writer.write(block, t);
        t += 0.1;
    }
    writer.close();
    if (writer.lastError())
        std::fprintf(stderr, "encode failed: %s\n", qPrintable(*writer.lastError()));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void row(const char* what, double ours, double theirs)
{
    std::printf("%-28s ours %8.2f s   ffmpeg %8.2f s   ratio %.2f\n", what, ours, theirs, ours / theirs);
}

} // namespace

int main(int argc, char** argv)
{
    // Child mode: one mix, so that the parent can read its peak memory.
    if (argc == 5 && std::strcmp(argv[1], "--mix") == 0) {
        try {
            Mixer::mix({{QString::fromLocal8Bit(argv[2]), 0}, {QString::fromLocal8Bit(argv[3]), 0}},
                       QString::fromLocal8Bit(argv[4]));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "mix failed: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    // Taken now: a rebuild during the run would leave /proc/self/exe pointing at a deleted file.
    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    double minutes = 60;
    if (argc == 3 && std::strcmp(argv[1], "--minutes") == 0)
        minutes = std::atof(argv[2]);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + "/bench-audio-XXXXXX");
    const auto file = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    const auto path = [&](const char* name) { return QFile::encodeName(file(name)).toStdString(); };

    std::printf("two mono tracks of %.0f minutes, 48 kHz, AAC 64 kbit/s\n", minutes);
    makeTrack(file("sys.raw"), minutes, false);
    makeTrack(file("mic.raw"), minutes, true);

    const double oursEncode = encodeOurs(file("sys.raw"), file("sys.m4a"))
        + encodeOurs(file("mic.raw"), file("mic.m4a"));
    double theirsEncode = 0;
    for (const char* side : {"sys", "mic"}) {
        const BenchTools::Measured r = BenchTools::measure(
            {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "f32le", "-ar", "48000", "-ac", "1", "-i",
             path((std::string(side) + ".raw").c_str()), "-c:a", "aac", "-b:a", "64k",
             path((std::string(side) + "-ff.m4a").c_str())});
        theirsEncode += r.seconds;
    }
    row("encode both tracks", oursEncode, theirsEncode);

    // Both mixers take the same two files: the ones our writer made.
    const BenchTools::Measured ours = BenchTools::measure(
        {self, "--mix", path("sys.m4a"), path("mic.m4a"), path("mixed.m4a")});
    const BenchTools::Measured theirs = BenchTools::measure(
        {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path("sys.m4a"), "-i", path("mic.m4a"), "-filter_complex",
         "amix=inputs=2:normalize=0", "-c:a", "aac", "-b:a", "64k", path("mixed-ff.m4a")});
    if (ours.status != 0 || theirs.status != 0)
        std::printf("a mix failed (ours %d, ffmpeg %d)\n", ours.status, theirs.status);
    row("mix", ours.seconds, theirs.seconds);
    std::printf("%-28s ours %8.1f MB   ffmpeg %8.1f MB\n", "mix peak memory", ours.maxRssKiB / 1024.0,
                theirs.maxRssKiB / 1024.0);
    std::printf("mixed length                 ours %8.1f s   ffmpeg %8.1f s\n", Mixer::duration(file("mixed.m4a")),
                Mixer::duration(file("mixed-ff.m4a")));
    return ours.status == 0 && theirs.status == 0 ? 0 : 1;
}
