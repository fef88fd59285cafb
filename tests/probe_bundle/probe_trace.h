// Message ids of the probe modules' traces (payload: int32 words).
#pragma once

namespace probe {

enum Trace : int {
    TraceSubProcess = 1,  // {blockPos or buffer offset, sample count, routine}
    TraceSetPins = 2,     // {blockPos, bit mask of changed pin indices, In streaming}
    TraceHandler = 3,     // {blockPos, pin index}
    TraceMidi = 4,        // {pin, size, first byte}
    TraceStreaming = 5,   // {new state, streamingPins}
    TraceGraphStart = 6,  // {blockPos}
    TraceOpen = 7,        // module specific
};

}  // namespace probe
