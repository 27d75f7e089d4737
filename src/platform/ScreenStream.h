#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

// One output of the screen, in the coordinates of the whole X screen.
struct CaptureDisplay {
    QString name;
    QRect geometry;
    bool primary = false;
};

// One grabbed frame: 32-bit BGRA pixels (QImage::Format_RGB32, opaque) and the host
// media-clock time of the grab. A frame occupies one of the stream's queue slots
// for as long as any copy of it lives, so consumers that fall behind make the
// stream skip grabs instead of piling frames up.
struct ScreenFrame {
    QImage image;
    double hostTime = 0;
    std::shared_ptr<void> slot;
};

struct StreamConfig {
    QSize size;                      // every frame is scaled to this size
    double minimumFrameInterval = 2; // seconds between two grabs, at least
    int queueDepth = 5;              // frames alive at once, at most
    bool showsCursor = true;         // the pointer is drawn into each frame

    // At most `maxWidth` wide, keeping the display's aspect (height rounded down,
    // at least 2): 3024 × 1964 gives 1440 × 935, 1280 × 800 stays as it is.
    static QSize sizeFor(QSize display, int maxWidth = 1440);
};

// A low-rate stream of grabs of one display. Windows marked with
// ScreenCapture::exclude() are blacked out of every frame.
class ScreenStream {
public:
    // Called on the stream's own thread; they must return quickly and must not call
    // stop(). `error` ends the stream: no frame follows it.
    struct Handlers {
        std::function<void(ScreenFrame)> frame;
        std::function<void(const QString& message)> error;
    };

    virtual ~ScreenStream() = default;
    // Starts grabbing; the first frame follows at once. Throws CaptureError when the
    // display cannot be captured.
    virtual void start(Handlers handlers) = 0;
    // Stops grabbing; when it returns no handler runs any more. Harmless when not started.
    virtual void stop() = 0;
};
