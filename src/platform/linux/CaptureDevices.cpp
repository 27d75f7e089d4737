#include "platform/CaptureDevices.h"

#include "platform/ScreenCapture.h"
#include "platform/linux/PulseSource.h"
#include "platform/linux/XScreenStream.h"

namespace {

class LinuxCaptureDevices final : public CaptureDevices {
public:
    std::vector<CaptureDisplay> displays() override { return ScreenCapture::displays(); }
    std::unique_ptr<ScreenStream> screenStream(const CaptureDisplay& display, const StreamConfig& config) override
    {
        return std::make_unique<XScreenStream>(display, config);
    }
    std::unique_ptr<AudioSource> systemAudio() override
    {
        return std::make_unique<PulseSource>(PulseSource::Kind::SystemAudio);
    }
    std::unique_ptr<AudioSource> microphone() override
    {
        return std::make_unique<PulseSource>(PulseSource::Kind::Microphone);
    }
};

} // namespace

CaptureDevices& CaptureDevices::system()
{
    static LinuxCaptureDevices devices;
    return devices;
}
