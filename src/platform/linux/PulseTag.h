#pragma once

#include <pulse/proplist.h>

// The properties that mark a PulseAudio client or stream as ours (application id
// and name). Every capture we open carries them, so that the microphone probe can
// tell our own use of the microphone from another application's.
//
//   PulseTag tag;
//   pa_stream_new_with_proplist(context, "voice", &spec, &map, tag.get());
class PulseTag {
public:
    PulseTag();
    ~PulseTag();
    PulseTag(const PulseTag&) = delete;
    PulseTag& operator=(const PulseTag&) = delete;

    pa_proplist* get() const { return props_; }

private:
    pa_proplist* props_;
};
