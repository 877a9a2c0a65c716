#pragma once

namespace kivora::platform {

// Plays one of the program's own wave resources, by resource id. Silent, never
// failing, where the machine has no audio device or the wave is unknown.
class ISounds {
public:
    virtual ~ISounds() = default;
    virtual void Play(int waveId, bool synchronous) = 0;
};

} // namespace kivora::platform
