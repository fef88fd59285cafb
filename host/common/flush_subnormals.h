// Flush-to-zero and denormals-are-zero for the current thread while an object lives, as
// audio hosts run their processing: decaying signals reach exact 0 instead of sticking at a
// subnormal value. A caller that already runs in that mode (an engine setting it once for
// its audio thread) pays only for reading the mode; otherwise the mode is restored.
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace mphost {

class FlushSubnormals {
public:
#if defined(__SSE__)
    FlushSubnormals() : saved(_mm_getcsr())
    {
        if ((saved & flushBits) != flushBits)
            _mm_setcsr(saved | flushBits);
    }
    ~FlushSubnormals()
    {
        if ((saved & flushBits) != flushBits)
            _mm_setcsr(saved);
    }
    FlushSubnormals(const FlushSubnormals&) = delete;
    FlushSubnormals& operator=(const FlushSubnormals&) = delete;

private:
    static constexpr unsigned flushBits = 0x8040;  // flush-to-zero 0x8000, denormals-are-zero 0x0040
    unsigned saved;
#endif
};

}  // namespace mphost
