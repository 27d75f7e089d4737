#include "session/Recorder.h"

#include "core/Clock.h"
#include "core/Log.h"
#include "core/Numbers.h"
#include "core/Privacy.h"
#include "platform/CaptureError.h"
#include "session/LiveMeter.h"
#include "session/Mixer.h"
#include "session/Speaking.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A sound buffer's own time further than this from now is not believed.
constexpr double stampTolerance = 5.0;

// One decimal as printf writes it.
QString oneDecimal(double x)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", x);
    return QString::fromLatin1(text);
}

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// Whole seconds, halves away from zero.
double roundWhole(double x)
{
    return std::round(x);
}

// The shortest decimal that reads back as x, always with a fraction: "125.0", "12.5".
QString decimal(double x)
{
    QString s = QString::number(x, 'g', QLocale::FloatingPointShortest);
    if (std::isfinite(x) && !s.contains(u'.') && !s.contains(u'e'))
        s += QStringLiteral(".0");
    return s;
}

} // namespace

std::shared_ptr<Recorder> Recorder::create(std::shared_ptr<Session> session, CaptureDevices& devices, TextReader reader)
{
    std::shared_ptr<Recorder> recorder(new Recorder(std::move(session), devices, std::move(reader)));
    recorder->self_ = recorder;
    return recorder;
}

Recorder::Recorder(std::shared_ptr<Session> session, CaptureDevices& devices, TextReader reader)
    : session_(std::move(session))
    , devices_(devices)
    , read_(reader ? std::move(reader)
                   : TextReader([](const QImage& image, bool fast) { return OCR::read(image, fast); }))
    , systemTrack_(session_->path(QStringLiteral("system.m4a")))
    , micTrack_(session_->path(QStringLiteral("mic.m4a")))
    , policy_(read_)
    , published_(std::make_shared<const SessionMeta>(session_->meta()))
{
    // Held until the final save, so that another process's recovery or upload
    // never takes this folder for an abandoned one.
    if (!live_.acquire(session_->dir()))
        slog(QStringLiteral("session lock: ") + QFileInfo(session_->dir()).fileName() + QStringLiteral(" is held elsewhere"));
}

Recorder::~Recorder()
{
    // No handler may run once the members start to go, and queued work is dropped.
    finished_ = true;
    stopping_ = true;
    if (stream_)
        stream_->stop();
    if (systemAudio_)
        systemAudio_->stop();
    {
        std::lock_guard lock(micMutex_);
        micRunning_ = false;
        if (micSource_)
            micSource_->stop();
    }
    // Nothing new is queued now; let the queues come to rest before any member goes.
    drain();
}

double Recorder::now() const
{
    return Clock::current().uptime();
}

double Recorder::elapsed() const
{
    const double started = startedHost_.load();
    return started == 0 ? 0 : now() - started;
}

void Recorder::onMain(std::function<void(Recorder&)> task)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return task(*this);
    QMetaObject::invokeMethod(
        app,
        [weak = self_, task = std::move(task)] {
            if (auto self = weak.lock())
                task(*self);
        },
        Qt::QueuedConnection);
}

// ---- start

void Recorder::start(bool withMic)
{
    const std::vector<CaptureDisplay> displays = devices_.displays();
    if (displays.empty())
        throw CaptureError(QStringLiteral("no display to record"));
    auto display = std::find_if(displays.begin(), displays.end(), [](const CaptureDisplay& d) { return d.primary; });
    if (display == displays.end())
        display = displays.begin();

    StreamConfig config;
    config.size = StreamConfig::sizeFor(display->geometry.size());
    config.minimumFrameInterval = 2;
    config.queueDepth = 5;
    config.showsCursor = true;

    std::unique_ptr<ScreenStream> stream = devices_.screenStream(*display, config);
    std::unique_ptr<AudioSource> systemAudio = devices_.systemAudio();

    // The time base exists before the first buffer can arrive.
    startedHost_ = now();
    // Handlers run on the capture threads: they only hand the data to q.
    stream->start({
        .frame = [this](ScreenFrame frame) { q_.async([this, frame = std::move(frame)] { handleFrame(frame); }); },
        .error = [this](const QString& message) { streamFailed(message); },
    });
    try {
        systemAudio->start({
            .buffer = [this](const CaptureBuffer& buffer) { q_.async([this, buffer] { handleSystemAudio(buffer); }); },
            // The system audio is part of the capture: losing it ends the stream.
            .interrupted = [this](const QString& reason) { streamFailed(reason); },
        });
    } catch (...) {
        // The recording never ran: no frame is kept from here on, not even one the
        // stream hands over while it stops, and nothing queued outlives the throw.
        stopping_ = true;
        stream->stop();
        systemAudio->stop();
        drain();
        throw;
    }
    stream_ = std::move(stream);
    systemAudio_ = std::move(systemAudio);

    if (withMic) {
        std::lock_guard lock(micMutex_);
        micSource_ = devices_.microphone();
        startMic();
    }

    q_.sync([this] {
        session_->meta().micOk = micOk_;
        session_->save();
        publish();
    });
    slog(QStringLiteral("recording started: %1 %2x%3 mic=%4")
             .arg(QFileInfo(session_->dir()).fileName())
             .arg(config.size.width())
             .arg(config.size.height())
             .arg(boolText(micOk_)));
}

void Recorder::streamFailed(const QString& message)
{
    if (streamFailed_.exchange(true) || finished_)
        return;
    slog(QStringLiteral("stream stopped: ") + message);
    onMain([message](Recorder& self) {
        if (self.onStreamError)
            self.onStreamError(message);
    });
}

// ---- microphone

AudioSource::Handlers Recorder::micHandlers()
{
    return {
        .buffer = [this](const CaptureBuffer& buffer) { tap(buffer); },
        // A source must not be restarted from its own thread.
        .interrupted = [this](const QString&) { micQ_.async([this] { restartMic(); }); },
    };
}

// With micMutex_ held.
void Recorder::startMic()
{
    const AudioSource::Format format = micSource_->format();
    if (!format.usable()) {
        slog(QStringLiteral("no microphone input"));
        micOk_ = false;
        return;
    }
    try {
        micSource_->start(micHandlers());
    } catch (const std::exception& e) {
        slog(QStringLiteral("mic start failed: ") + QString::fromUtf8(e.what()));
        micSource_->stop();
        micOk_ = false;
        return;
    }
    micOk_ = true;
    micRunning_ = true;
}

void Recorder::restartMic()
{
    std::lock_guard lock(micMutex_);
    if (!micRunning_ || finished_)
        return;
    slog(QStringLiteral("audio configuration changed: restarting mic"));
    micSource_->stop();
    micRunning_ = false;
    startMic();
}

float Recorder::tapLevel(const PcmBuffer& buffer)
{
    const int64_t frames = buffer.frames();
    if (frames <= 0)
        return 0;
    double sum = 0;
    int64_t taken = 0;
    for (int64_t f = 0; f < frames; f += 4, ++taken) {
        const double s = buffer.samples[size_t(f * buffer.channels)];
        sum += s * s;
    }
    // The mean of the samples actually taken: 1 for 3 frames, 1024 for 4096.
    return float(std::sqrt(sum / double(taken)));
}

void Recorder::tap(const CaptureBuffer& buffer)
{
    if (finished_ || buffer.frames() <= 0 || buffer.sampleRate <= 0)
        return;
    const double host = std::isfinite(buffer.hostTime) && buffer.hostTime > 0 ? buffer.hostTime : now();
    const double at = std::max(host - startedHost_.load(), 0.0);
    auto copy = std::make_shared<const PcmBuffer>(buffer);
    LiveMeter::shared().feedMic(tapLevel(*copy));
    if (onMicBuffer)
        onMicBuffer(*copy);
    micQ_.async([this, copy, at] { micTrack_.write(*copy, at); });
}

// ---- capture queue: sound

void Recorder::handleSystemAudio(const CaptureBuffer& buffer)
{
    if (finished_)
        return;
    settleDueAutoPin();
    const int64_t n = buffer.frames();
    if (n <= 0 || buffer.sampleRate <= 0)
        return;
    const double current = now();
    double p = buffer.hostTime;
    if (!std::isfinite(p) || std::abs(p - current) > stampTolerance)
        p = current - double(n) / buffer.sampleRate;
    const double at = std::max(p - startedHost_.load(), 0.0);
    systemTrack_.write(buffer, at);
}

// ---- capture queue: frames

void Recorder::handleFrame(const ScreenFrame& frame)
{
    if (finished_)
        return;
    settleDueAutoPin();
    // A stopping recording takes no more frames, so no recognition is queued behind
    // the stop's drain.
    if (stopping_)
        return;
    const double at = now();
    const std::optional<ShotPolicy::Shot> shot = policy_.consider(frame.image, at, frame.hostTime, shotCount_);
    if (!shot)
        return;
    const QImage& image = frame.image;
    const bool strong = shot->strong;
    const QByteArray& jpeg = shot->jpeg;

    const double t = roundWhole(at - startedHost_.load());
    session_->addShot(t, jpeg);
    shotCount_ = int(session_->meta().shots.size());
    publish();

    // A screen that never rests would queue a full frame per shot faster than they
    // are read; the shot is kept, its text and automatic pin are not.
    if (pendingReads_.load() >= maxPendingReads) {
        if (!ocrBehindLogged_) {
            ocrBehindLogged_ = true;
            slog(QStringLiteral("ocr: falling behind, skipping text of some screenshots"));
        }
        return;
    }
    ++pendingReads_;
    const QString app = frontApp_;
    ocrQ_.async([this, image, t, strong, jpeg, app] {
        struct Done {
            std::atomic<int>& pending;
            ~Done() { --pending; }
        } done{pendingReads_};
        if (finished_)
            return;
        const OCR::Reading reading = read_(image, false);
        const QString trimmed = reading.text.trimmed();
        if (trimmed.isEmpty() || finished_)
            return;
        q_.async([this, reading, trimmed, t, strong, jpeg, app] {
            // The metadata may already be final.
            if (finished_)
                return;
            policy_.noteTitle(t, reading.title, strong, jpeg, autoPinOn, now());
            if (policy_.keepText(trimmed)) {
                auto& ocr = session_->meta().ocr;
                if (!ocr)
                    ocr.emplace();
                ocr->push_back(OcrEntry{t, app, trimmed});
                publish();
            }
        });
    });
}

// ---- automatic pins (q)

// Settles an armed pin once its time has come; runs ahead of every buffer on q.
void Recorder::settleDueAutoPin()
{
    if (auto pin = policy_.takeDue(now()))
        resolveAutoPin(std::move(*pin));
}

void Recorder::resolveAutoPin(ShotPolicy::PendingPin p)
{
    const LevelTrack mic = micQ_.sync([this] { return micTrack_.levels(); });
    const LevelTrack system = systemTrack_.levels();
    if (!policy_.confirm(p, mic, system))
        return;
    session_->addPin(p.t, p.note, p.jpeg, Session::PinKind::automatic);
    session_->save();
    publish();
    slog(QStringLiteral("auto-pin at ") + decimal(p.t) + QStringLiteral("s: ") + Log::oneLine(p.note));
    const QString title = QString(p.note).remove(ShotPolicy::autoPinPrefix);
    onMain([title](Recorder& self) {
        if (self.onEvent)
            self.onEvent(FeedItem::Kind::slide, QStringLiteral("screenshot saved — ") + title);
    });
}

// ---- small operations

void Recorder::noteApp(const QString& name, const std::optional<QString>& bundleID, const std::optional<QString>& title)
{
    const Privacy::Result classified = Privacy::classify(name, bundleID, title, true);
    const double t = round1(elapsed());
    const QString label = classified.title ? classified.app + QStringLiteral(" — ") + OCR::clip(*classified.title, 60)
                                           : classified.app;
    if (!lastNoted_) {
        lastNoted_ = label;
    } else if (label != *lastNoted_) {
        if (onEvent)
            onEvent(FeedItem::Kind::nowIn, label);
        lastNoted_ = label;
    }
    q_.async([this, classified, t] {
        if (finished_)
            return;
        frontApp_ = classified.app;
        policy_.setFrontPrivate(classified.app == Privacy::privateLabel);
        auto& apps = session_->meta().apps;
        if (!apps)
            apps.emplace();
        AppSpan::merge(*apps, t, classified.app, classified.title, 6.0);
        publish();
    });
}

void Recorder::markCall(const QString& app)
{
    q_.async([this, app] {
        if (finished_ || session_->meta().callApp)
            return;
        session_->meta().callApp = app;
        publish();
        slog(QStringLiteral("recording is a call: ") + Log::oneLine(app));
    });
}

void Recorder::publish()
{
    auto copy = std::make_shared<const SessionMeta>(session_->meta());
    std::lock_guard lock(publishedMutex_);
    published_ = std::move(copy);
}

std::shared_ptr<const SessionMeta> Recorder::published() const
{
    std::lock_guard lock(publishedMutex_);
    return published_;
}

bool Recorder::isCall() const
{
    const auto meta = published();
    return meta->fromCall || meta->callApp.has_value();
}

Recorder::LiveSnapshot Recorder::liveSnapshot(int since) const
{
    LiveSnapshot s;
    s.meta = *published();
    const std::vector<OcrEntry> all = s.meta.ocr.value_or(std::vector<OcrEntry>{});
    const size_t from = size_t(std::max(since, 0));
    if (from < all.size())
        s.ocr.assign(all.begin() + std::ptrdiff_t(from), all.end());
    s.ocrCount = int(all.size());
    s.apps = s.meta.apps.value_or(std::vector<AppSpan>{});
    s.pins = s.meta.pins;
    s.kind = s.meta.fromCall || s.meta.callApp ? QStringLiteral("call") : QStringLiteral("session");
    s.started = s.meta.started;
    return s;
}

void Recorder::addPin(const QByteArray& jpeg, const QString& note, std::optional<double> t, Session::PinKind kind)
{
    const double at = round1(t ? *t : elapsed());
    q_.async([this, jpeg, note, at, kind] {
        if (finished_)
            return;
        session_->addPin(at, note, jpeg, kind);
        session_->save();
        publish();
    });
}

int Recorder::pinCount() const
{
    return int(published()->pins.size());
}

int Recorder::shotCount() const
{
    return int(published()->shots.size());
}

// ---- stop

void Recorder::drain()
{
    // A frame being handled may still queue recognition, whose result comes back to q.
    q_.drain();
    ocrQ_.drain();
    q_.drain();
    micQ_.drain();
}

std::shared_ptr<Session> Recorder::stop()
{
    // No frame is looked at from here on, so nothing new is handed to recognition.
    stopping_ = true;
    if (stream_) {
        stream_->stop();
        stream_.reset();
    }
    if (systemAudio_) {
        systemAudio_->stop();
        systemAudio_.reset();
    }
    {
        std::lock_guard lock(micMutex_);
        if (micRunning_) {
            micRunning_ = false;
            micSource_->stop();
        }
    }
    const QDateTime ended = Clock::current().now();
    // The end of the recording, before the waits below.
    const double endT = round1(elapsed());

    const auto advanced = [this] { stopProgress_.fetch_add(1); };
    advanced();
    // Frames already queued, the recognition they handed on and its results.
    q_.drain();
    advanced();
    ocrQ_.drain();
    advanced();
    q_.sync([this] {
        if (auto pin = policy_.takeDue(std::nullopt))
            resolveAutoPin(std::move(*pin));
    });
    advanced();
    micQ_.sync([this] { micTrack_.close(); });
    advanced();
    q_.sync([this, endT] {
        systemTrack_.close();
        auto& apps = session_->meta().apps;
        if (apps && !apps->empty())
            apps->back().end = std::max(apps->back().end, endT);
        publish();
    });
    advanced();

    std::optional<LevelTrack> micLevels, systemLevels;
    if (micTrack_.hasAudio())
        micLevels = micTrack_.levels();
    if (systemTrack_.hasAudio())
        systemLevels = systemTrack_.levels();
    const Speaking::Spans spans = Speaking::spans(micLevels, systemLevels);
    advanced();

    std::vector<Mixer::Input> inputs;
    if (systemTrack_.hasAudio())
        inputs.push_back({systemTrack_.path(), systemTrack_.offset().value_or(0)});
    if (micTrack_.hasAudio())
        inputs.push_back({micTrack_.path(), micTrack_.offset().value_or(0)});
    std::optional<QString> audioFile;
    if (!inputs.empty()) {
        try {
            Mixer::mix(inputs, session_->path(QStringLiteral("mixed.m4a")), [&](double) { advanced(); });
            audioFile = QStringLiteral("mixed.m4a");
        } catch (const std::exception& e) {
            slog(QStringLiteral("mix failed: ") + QString::fromUtf8(e.what())
                 + QStringLiteral("; falling back to one track"));
            audioFile = QFileInfo(inputs.back().path).fileName();
        }
    }

    const QString summary = q_.sync([&] {
        SessionMeta& m = session_->meta();
        m.ended = ended;
        m.levelsMic = spans.mic;
        m.levelsTab = spans.tab;
        m.micOk = micOk_;
        m.audioFile = audioFile;
        const bool call = m.fromCall || m.callApp.has_value();
        m.kind = call ? QStringLiteral("call") : QStringLiteral("session");
        if (call && m.app == QStringLiteral("Screen") && m.callApp)
            m.app = *m.callApp;
        // From here on the session belongs to the caller; late work is dropped.
        finished_ = true;
        session_->save();
        publish();
        return QStringLiteral(
                   "recording stopped: %1, %2 ocr, %3 app spans, %4 shots, %5 pins, audio=%6 sys=%7s mic=%8s")
            .arg(m.kind.value_or(QStringLiteral("?")))
            .arg(m.ocr ? m.ocr->size() : 0)
            .arg(m.apps ? m.apps->size() : 0)
            .arg(m.shots.size())
            .arg(m.pins.size())
            .arg(audioFile.value_or(QStringLiteral("none")))
            .arg(oneDecimal(systemTrack_.duration()))
            .arg(oneDecimal(micTrack_.duration()));
    });
    slog(summary);
    live_.release();
    return session_;
}
