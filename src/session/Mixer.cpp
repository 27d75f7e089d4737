#include "session/Mixer.h"

#include "platform/AacWriter.h"
#include "platform/AudioReader.h"
#include "platform/MediaError.h"
#include "platform/Resampler.h"
#include "session/AudioError.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace Mixer {

namespace {

constexpr int rate = 48000;
constexpr int64_t blockFrames = 16384;

// One input being read: decoded blocks become 48 kHz mono samples waiting in `ready`.
struct Source {
    std::unique_ptr<AudioReader> reader;
    std::unique_ptr<Resampler> resampler;
    int64_t start = 0;    // output frame of its first sample
    int64_t consumed = 0; // samples handed to the mix so far
    std::vector<float> ready;
    size_t readyAt = 0;
    bool ended = false;
    PcmBuffer block;

    // Makes sure `count` samples wait, unless the file ends first.
    void fill(size_t count)
    {
        if (readyAt > 0 && readyAt >= ready.size() / 2) {
            ready.erase(ready.begin(), ready.begin() + ptrdiff_t(readyAt));
            readyAt = 0;
        }
        while (!ended && ready.size() - readyAt < count) {
            if (!reader->read(block)) {
                ended = true;
                break;
            }
            if (!resampler || !resampler->accepts(block.sampleRate, block.channels))
                resampler = std::make_unique<Resampler>(block.sampleRate, block.channels, rate);
            resampler->convert(block.samples.data(), block.frames(), ready);
        }
    }

    size_t available() const { return ready.size() - readyAt; }
    bool done() const { return ended && available() == 0; }
};

std::unique_ptr<Source> openSource(const Input& input)
{
    auto source = std::make_unique<Source>();
    try {
        source->reader = std::make_unique<AudioReader>(QFile::encodeName(input.path).toStdString());
    } catch (const NoAudioStream&) {
        return nullptr;
    }
    const double offset = std::isfinite(input.offset) ? std::max(input.offset, 0.0) : 0.0;
    source->start = std::llround(offset * rate);
    source->fill(1);
    if (source->done())
        return nullptr;
    return source;
}

// Decoded, summed blocks on their way from the reading thread to the encoder.
// Bounded, so the reader runs at most a few blocks ahead.
class Pipe {
public:
    // False when the consumer gave up.
    bool push(std::vector<float> block)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return blocks_.size() < 8 || cancelled_; });
        if (cancelled_)
            return false;
        blocks_.push_back(std::move(block));
        changed_.notify_all();
        return true;
    }
    void finish(std::exception_ptr error = nullptr)
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        error_ = error;
        changed_.notify_all();
    }
    void cancel()
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    // The next block; nothing at the end. Rethrows the reader's failure.
    std::optional<std::vector<float>> pop()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !blocks_.empty() || done_; });
        if (!blocks_.empty()) {
            std::vector<float> block = std::move(blocks_.front());
            blocks_.pop_front();
            changed_.notify_all();
            return block;
        }
        if (error_)
            std::rethrow_exception(error_);
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<float>> blocks_;
    bool done_ = false;
    bool cancelled_ = false;
    std::exception_ptr error_;
};

void run(std::vector<std::unique_ptr<Source>>& sources, Pipe& pipe)
{
    std::vector<float> sum(static_cast<size_t>(blockFrames));
    for (int64_t pos = 0;; pos += blockFrames) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        bool allDone = true;
        int64_t end = 0;
        for (auto& s : sources) {
            if (s->start < pos + blockFrames) {
                const int64_t from = std::max<int64_t>(s->start - pos, 0);
                const size_t want = size_t(blockFrames - from);
                s->fill(want);
                const size_t n = std::min(want, s->available());
                const float* in = s->ready.data() + s->readyAt;
                float* out = sum.data() + from;
                for (size_t i = 0; i < n; ++i)
                    out[i] += in[i];
                s->readyAt += n;
                s->consumed += int64_t(n);
            }
            if (!s->done())
                allDone = false;
            end = std::max(end, s->start + s->consumed);
        }
        int64_t count = blockFrames;
        if (allDone)
            count = std::clamp<int64_t>(end - pos, 0, blockFrames);
        std::vector<float> out(sum.begin(), sum.begin() + count);
        for (float& x : out)
            x = std::clamp(x, -1.0f, 1.0f);
        if (!pipe.push(std::move(out)) || allDone)
            return;
    }
}

} // namespace

void mix(const std::vector<Input>& inputs, const QString& output, const Progress& progress)
{
    std::vector<std::unique_ptr<Source>> sources;
    for (const Input& input : inputs) {
        if (auto source = openSource(input))
            sources.push_back(std::move(source));
    }
    if (sources.empty())
        throw AudioError::exportFailed(QStringLiteral("nothing to mix"));

    const QFileInfo target(output);
    const QString partial = target.absolutePath() + QStringLiteral("/.") + target.fileName()
        + QStringLiteral("-mixing-") + QString::number(::getpid()) + QStringLiteral(".m4a");
    const QByteArray partialPath = QFile::encodeName(partial);
    // Whatever ends the mix early, no hidden partial file stays behind.
    auto removePartial = qScopeGuard([&] { ::unlink(partialPath.constData()); });
    try {
        AacWriter writer(partialPath.toStdString());
        // Decoding and summing run on a thread of their own while this one
        // encodes, so the mix takes about as long as the encoding alone.
        Pipe pipe;
        std::thread reader([&] {
            try {
                run(sources, pipe);
                pipe.finish();
            } catch (...) {
                pipe.finish(std::current_exception());
            }
        });
        try {
            int64_t written = 0;
            while (const auto block = pipe.pop()) {
                writer.append(block->data(), int64_t(block->size()));
                written += int64_t(block->size());
                if (progress)
                    progress(double(written) / rate);
            }
        } catch (...) {
            pipe.cancel();
            reader.join();
            throw;
        }
        reader.join();
        writer.close();
    } catch (const MediaError& e) {
        throw AudioError::exportFailed(QStringLiteral("export failed: ") + QString::fromUtf8(e.what()));
    }
    if (std::rename(partialPath.constData(), QFile::encodeName(output).constData()) != 0)
        throw AudioError::exportFailed(QStringLiteral("export failed: cannot replace ") + target.fileName());
    removePartial.dismiss();
}

double duration(const QString& path)
{
    return AudioReader::duration(QFile::encodeName(path).toStdString());
}

} // namespace Mixer
