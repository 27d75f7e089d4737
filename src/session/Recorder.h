#pragma once

#include "core/FeedItem.h"
#include "core/SerialQueue.h"
#include "platform/AudioSource.h"
#include "platform/CaptureDevices.h"
#include "platform/PcmBuffer.h"
#include "platform/ScreenStream.h"
#include "session/LevelTrack.h"
#include "session/MonoWriter.h"
#include "session/OCR.h"
#include "session/Session.h"
#include "session/SessionLock.h"
#include "session/ShotPolicy.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Captures one recording into one session: the main display as a low-rate stream
// of screenshots, the system audio and, when asked, the microphone.
//
// Session time is seconds since the capture started on the monotonic clock
// (Clock::current().uptime(), the scale the capture backends stamp on).
//
// Threads: screen frames and system audio are handled on the capture queue
// "zelvan.capture", which alone touches the session's metadata while the recording
// runs; microphone buffers are written on "zelvan.mic"; accurate text recognition
// runs on "zelvan.ocr". Every public call may come from the main thread; start()
// and stop() block and belong on a worker thread. None of them may be called from a
// capture handler or from one of the recorder's queues.
class Recorder {
public:
    // Accurate text reads waiting or running at which a kept frame gets none.
    static constexpr int maxPendingReads = 2;

    // Reads the text of an image; OCR::read unless a test or a benchmark says otherwise.
    using TextReader = std::function<OCR::Reading(const QImage& image, bool fast)>;

    struct LiveSnapshot {
        std::vector<OcrEntry> ocr; // the entries from the requested index on
        int ocrCount = 0;          // all entries
        std::vector<AppSpan> apps;
        std::vector<PinMeta> pins;
        QString kind; // "call" or "session"
        QDateTime started;
        SessionMeta meta;
    };

    // Callers hold the recorder through the shared pointer; callbacks sent to the
    // main thread hold it weakly. Nothing is captured until start().
    static std::shared_ptr<Recorder> create(std::shared_ptr<Session> session,
                                            CaptureDevices& devices = CaptureDevices::system(), TextReader reader = {});
    // Releases the capture sources and drops work still queued; stop() is what
    // finishes a recording.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Set before start(), never changed afterwards.
    // The capture failed for good (once per recording), on the main thread.
    std::function<void(const QString& message)> onStreamError;
    // Every microphone buffer, on the capture thread of the microphone.
    std::function<void(const PcmBuffer& buffer)> onMicBuffer;
    // Feed events: the front application changed (on the caller's thread of
    // noteApp) and an automatic pin was saved (on the main thread).
    std::function<void(FeedItem::Kind kind, const QString& text)> onEvent;

    // Automatic pins enabled; the controller copies the user's setting in.
    std::atomic<bool> autoPinOn{true};

    // Starts the screen stream and the system audio, then the microphone when asked
    // (a microphone that fails only leaves micOk false). Blocking. Throws
    // CaptureError: the capture's own, or "no display to record".
    void start(bool withMic);
    // Stops capture, finishes the queued work, closes and mixes the tracks, sets the
    // final metadata and saves it. Blocking, never throws; afterwards the caller
    // owns the session and the recorder changes it no more.
    std::shared_ptr<Session> stop();

    // A count that grows while stop() works (each step, each mixed block), so
    // that a watcher can tell a long stop from one that hangs. Any thread.
    quint64 stopProgress() const { return stopProgress_.load(); }

    // Session time now; 0 before start().
    double elapsed() const;
    bool micOk() const { return micOk_.load(); }

    // Marks the recording as a call of `app`; only the first mark counts.
    void markCall(const QString& app);
    // The getters below never wait on the capture queue: they read what it
    // published after its last change, so a change just queued may not show yet.
    bool isCall() const;
    // `since` is the number of text entries the caller has already seen.
    LiveSnapshot liveSnapshot(int since) const;
    // A user pin, a voice screenshot or a text-only note card at session time t
    // (now when absent), saved at once.
    void addPin(const QByteArray& jpeg, const QString& note, std::optional<double> t = std::nullopt,
                Session::PinKind kind = Session::PinKind::screenshot);
    int pinCount() const;
    int shotCount() const;
    // The application in front (name, application id, window title), every few seconds.
    void noteApp(const QString& name, const std::optional<QString>& bundleID, const std::optional<QString>& title);

    // The live level of a microphone buffer: the RMS of every fourth frame of its
    // first channel.
    static float tapLevel(const PcmBuffer& buffer);

private:
    friend struct RecorderTestAccess;

    Recorder(std::shared_ptr<Session> session, CaptureDevices& devices, TextReader reader);

    double now() const;
    void startMic();
    void restartMic();
    AudioSource::Handlers micHandlers();
    void streamFailed(const QString& message);
    void onMain(std::function<void(Recorder&)> task);

    // On q.
    void handleFrame(const ScreenFrame& frame);
    void handleSystemAudio(const CaptureBuffer& buffer);
    void settleDueAutoPin();
    void resolveAutoPin(ShotPolicy::PendingPin pin);
    // On the microphone's capture thread.
    void tap(const CaptureBuffer& buffer);

    // The queues' own work runs in order: what each one queued so far is done.
    void drain();
    // On q, after each change of the metadata: what the getters read.
    void publish();
    std::shared_ptr<const SessionMeta> published() const;

    const std::shared_ptr<Session> session_;
    CaptureDevices& devices_;
    const TextReader read_;

    std::atomic<double> startedHost_{0};
    std::atomic<bool> micOk_{false};
    std::atomic<bool> streamFailed_{false};
    // Set first by stop(): frames are no longer looked at.
    std::atomic<bool> stopping_{false};
    // Set when the metadata is final or the recorder is going: late work is dropped.
    std::atomic<bool> finished_{false};
    std::atomic<quint64> stopProgress_{0};

    // Touched by start() and stop() only.
    std::unique_ptr<ScreenStream> stream_;
    std::unique_ptr<AudioSource> systemAudio_;

    // The microphone source, guarded by micMutex_ (start, stop and the restart).
    std::mutex micMutex_;
    std::unique_ptr<AudioSource> micSource_;
    bool micRunning_ = false;

    MonoWriter systemTrack_; // q
    MonoWriter micTrack_;    // micQ

    // Frame and automatic-pin state, on q.
    ShotPolicy policy_;
    int shotCount_ = 0;
    QString frontApp_ = QStringLiteral("Screen");
    bool ocrBehindLogged_ = false;

    // Accurate reads queued on "zelvan.ocr" and not yet done; each holds a full frame.
    std::atomic<int> pendingReads_{0};

    // The caller's thread of noteApp (the main thread).
    std::optional<QString> lastNoted_;

    // A copy of the metadata as q last left it.
    mutable std::mutex publishedMutex_;
    std::shared_ptr<const SessionMeta> published_;

    std::weak_ptr<Recorder> self_;

    // The folder's lock for the whole recording.
    SessionLock live_;

    // Last, so that they go first: work still queued runs while everything it
    // touches is alive.
    SerialQueue q_{"zelvan.capture"};
    SerialQueue micQ_{"zelvan.mic"};
    SerialQueue ocrQ_{"zelvan.ocr"};
};
