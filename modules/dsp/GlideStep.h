// One sample of slewing towards a target, shared by Glider and Glider2.
#pragma once

#include <cmath>

// Moves `current` one step towards `target`. `glideSamples` is the glide time in
// samples (time in seconds x sample rate); 0 gives an infinite step, that is a jump.
// Constant time (`constantTime`): the step is chosen when the target changes so that
// the whole distance takes `glideSamples`; constant rate: 0.1 per `glideSamples`.
// `step` persists between samples (float32 state of the module).
inline void glideStep(float& current, float target, float previousTarget, float glideSamples, bool constantTime,
                      float& step)
{
    if (current == target)
        return;
    if (!constantTime)
        step = 0.1f / glideSamples;
    else if (target != previousTarget)
        step = std::fabs(target - current) / glideSamples;
    if (target > current) {
        current += step;
        if (current > target)
            current = target;
    } else if (target < current) {
        current -= step;
        if (current < target)
            current = target;
    }
}
