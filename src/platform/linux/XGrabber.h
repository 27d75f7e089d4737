#pragma once

#include "platform/linux/XDisplay.h"

#include <QImage>
#include <QRect>
#include <QRegion>
#include <vector>

// Reads pixels of the root window through MIT-SHM (plain GetImage when the server
// cannot share memory with us), draws the pointer in and blacks out marked windows.
class XGrabber {
public:
    // Throws CaptureError when the screen's pixel format is not 32-bit BGRX.
    explicit XGrabber(XDisplay& display);
    ~XGrabber();
    XGrabber(const XGrabber&) = delete;
    XGrabber& operator=(const XGrabber&) = delete;

    struct Options {
        bool cursor = false;
        bool maskExcluded = false;
    };
    // The pixels of `rect` (root coordinates) as an opaque Format_RGB32 image.
    // `hostTime`, when given, receives the media-clock time of the read. Throws
    // CaptureError on an X error or a lost display.
    QImage grab(const QRect& rect, Options options, double* hostTime = nullptr);

    // A top-level window as it stands on screen.
    struct Window {
        QRect rect;
        bool marked = false;
    };
    // What to black out of `area`, in `area`'s own coordinates: every marked window
    // except where a window stacked above it covers it. `bottomToTop` lists the
    // visible top-level windows in stacking order.
    static QRegion maskRegion(const std::vector<Window>& bottomToTop, const QRect& area);

private:
    QImage read(const QRect& rect);
    bool attachShm(std::size_t bytes);
    void detachShm();
    void drawCursor(QImage& image, const QPoint& origin);
    std::vector<Window> windows();

    XDisplay& x_;
    bool shmUsable_ = false;
    unsigned shmSeg_ = 0;
    void* shmAddr_ = nullptr;
    std::size_t shmSize_ = 0;
    bool xfixes_ = false;
    unsigned markAtom_ = 0;
};
