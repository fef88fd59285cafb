// Colour components and colour text: A, R, G, B (0..1) and eight lower-case hexadecimal
// digits AARRGGBB, both ways.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#include "mp_sdk_gui.h"

namespace {

// 0..1 to a byte, truncating; NaN gives 0.
unsigned toByte(float component)
{
    if (!(component > 0.0f))
        return 0;
    return static_cast<unsigned>(std::min(component, 1.0f) * 255.0f);
}

// 0 A, 1 R, 2 G, 3 B, 4 String.
class ARGB2Str : public SeGuiInvisibleBase {
    MpGuiPin<float> pinA;
    MpGuiPin<float> pinR;
    MpGuiPin<float> pinG;
    MpGuiPin<float> pinB;
    StringGuiPin pinString;

public:
    ARGB2Str()
    {
        initializePin(pinA, &ARGB2Str::onSetARGB);
        initializePin(pinR, &ARGB2Str::onSetARGB);
        initializePin(pinG, &ARGB2Str::onSetARGB);
        initializePin(pinB, &ARGB2Str::onSetARGB);
        initializePin(pinString, &ARGB2Str::onSetString);
    }

    void onSetARGB()
    {
        char text[9];
        std::snprintf(text, sizeof text, "%02x%02x%02x%02x", toByte(pinA), toByte(pinR), toByte(pinG), toByte(pinB));
        pinString = std::string(text);
    }

    void onSetString()
    {
        // One unsigned hexadecimal number; its low 32 bits are AARRGGBB.
        const auto argb = static_cast<std::uint32_t>(std::wcstoul(pinString.getValue().c_str(), nullptr, 16));
        pinA = static_cast<float>((argb >> 24) & 0xFF) / 255.0f;
        pinR = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
        pinG = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
        pinB = static_cast<float>(argb & 0xFF) / 255.0f;
    }
};

const bool registered = gmpi::Register<ARGB2Str>::withId(L"ARGB2Str");

}  // namespace
