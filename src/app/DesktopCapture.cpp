// The recording flow's questions to this desktop: the X display, the sound server
// and the windows.
#include "app/AppPorts.h"

#include "core/ScreenAccess.h"
#include "platform/CaptureError.h"
#include "platform/MicUsage.h"
#include "platform/ScreenCapture.h"
#include "platform/Windows.h"

namespace {

class DesktopCapture final : public Ports::Capture {
public:
    // Screen capture on Linux needs no permission, only a display we can reach.
    bool screenPreflight() override
    {
        try {
            return !ScreenCapture::displays().empty();
        } catch (const CaptureError&) {
            return false;
        }
    }
    bool screenWorks() override { return ScreenAccess::works(); }
    // No permission guards the microphone here; what can be missing is the device.
    // Asked on a worker before a recording, so it may wait for a busy sound server.
    bool micAvailable() override { return MicUsage::patient().defaultInputDevice().has_value(); }
    std::optional<bool> othersUsingInput() override { return MicUsage::system().othersUsingInput(); }
    std::optional<bool> inputRunningSomewhere() override { return MicUsage::system().inputRunningSomewhere(); }
    std::optional<FrontApp> frontApp() override
    {
        Windows& windows = Windows::system();
        const auto app = windows.frontApp();
        if (!app)
            return std::nullopt;
        FrontApp front;
        front.name = !app->name.isEmpty() ? app->name : !app->id.isEmpty() ? app->id : QStringLiteral("?");
        if (!app->id.isEmpty())
            front.bundleID = app->id;
        front.title = windows.frontTitle(app->pid);
        return front;
    }
};

} // namespace

Ports::Capture& Ports::Capture::system()
{
    static DesktopCapture capture;
    return capture;
}
