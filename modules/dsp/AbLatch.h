// The A/B selection of Memory/Reset and Memory/Reset2, one sample at a time.
#pragma once

#include "mp_sdk_audio.h"

struct AbLatch {
    bool bSelected = false;
    bool streamUpdatePending = false;  // the selected input changed its streaming state

    // One output sample. `selectB` switches to B while A is selected, `selectA` to A while
    // B is selected (with both, the selection alternates every sample). Out is told its
    // streaming state (that of the selected input) at `position` on a switch, or once
    // after the selected input changed its own.
    float next(bool selectB, bool selectA, float a, float b, const AudioInPin& pinA, const AudioInPin& pinB,
               AudioOutPin& pinOut, int position)
    {
        if (bSelected ? selectA : selectB) {
            bSelected = !bSelected;
            pinOut.setStreaming(selected(pinA, pinB).isStreaming(), position);
        } else if (streamUpdatePending) {
            streamUpdatePending = false;
            pinOut.setStreaming(selected(pinA, pinB).isStreaming(), position);
        }
        return bSelected ? b : a;
    }

    // Called from onSetPins: notes a streaming change of the selected input.
    void noteStreamingChanges(const AudioInPin& pinA, const AudioInPin& pinB)
    {
        if (selected(pinA, pinB).isStreamingChanged())
            streamUpdatePending = true;
    }

    const AudioInPin& selected(const AudioInPin& pinA, const AudioInPin& pinB) const { return bSelected ? pinB : pinA; }
};
