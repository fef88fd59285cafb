// Random values with a history: HistUp steps forward (producing a new value past the end
// of the history, replaying a stored one otherwise), HistDown steps back. Stored values
// never change, whatever Min and Max do later.
#include <cstdint>
#include <vector>

#include "mp_sdk_gui.h"

namespace {

// 32-bit xorshift generator.
std::uint32_t nextRandom(std::uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Min + an offset below the range width, all in unsigned 32-bit arithmetic: the full
// int32 range (width 2^32, which wraps to 0) takes the generator's word as it is.
int randomInRange(int min, int max, std::uint32_t random)
{
    if (max <= min)
        return max;
    const std::uint32_t width = static_cast<std::uint32_t>(max) - static_cast<std::uint32_t>(min) + 1u;
    const std::uint32_t offset = width == 0 ? random : random % width;
    return static_cast<int>(static_cast<std::uint32_t>(min) + offset);
}

float randomInRange(float min, float max, std::uint32_t random)
{
    const double fraction = random * (1.0 / 4294967296.0);  // 0 <= fraction < 1
    return min + (max - min) * static_cast<float>(fraction);
}

// 0 Min, 1 Max, 2 Out, 3 HistUp, 4 HistDown.
template <typename T>
class RandomWithHistory : public SeGuiInvisibleBase {
    MpGuiPin<T> pinMin;
    MpGuiPin<T> pinMax;
    MpGuiPin<T> pinOut;
    MpGuiPin<bool> pinHistUp;
    MpGuiPin<bool> pinHistDown;

    std::vector<T> history;
    int position = -1;  // index of the value on Out; -1 before the first
    std::uint32_t state;

public:
    RandomWithHistory()
    {
        // Each instance starts from its own address; xorshift must not start at 0.
        state = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&state));
        if (state == 0)
            state = 0x9E3779B9u;
        initializePin(pinMin);
        initializePin(pinMax);
        initializePin(pinOut);
        initializePin(pinHistUp, &RandomWithHistory::onSetHistUp);
        initializePin(pinHistDown, &RandomWithHistory::onSetHistDown);
    }

    void onSetHistUp()
    {
        if (!pinHistUp)
            return;
        ++position;
        if (position == static_cast<int>(history.size()))
            history.push_back(randomInRange(pinMin.getValue(), pinMax.getValue(), nextRandom(state)));
        pinOut = history[static_cast<std::size_t>(position)];
    }

    void onSetHistDown()
    {
        if (!pinHistDown || position < 0)
            return;
        if (position > 0)
            --position;
        pinOut = history[static_cast<std::size_t>(position)];
    }
};

class KV_RndInt : public RandomWithHistory<int> {};
class KV_RndFloat : public RandomWithHistory<float> {};

const bool registered =
    gmpi::Register<KV_RndInt>::withId(L"KV_RndInt") && gmpi::Register<KV_RndFloat>::withId(L"KV_RndFloat");

}  // namespace
