// Numbers and their text, both ways, within Min..Max. A value outside the range shows
// the nearest bound; typed text within the range sets the value and stays as typed;
// typed text outside it sets the bound and is rewritten to the bound's text.
//
// Typed text that does not start with a number (after optional white space and sign)
// changes nothing: the text is rewritten to show the current value again. Numbers too
// large for the value type count as beyond the violated bound.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>

#include "mp_sdk_gui.h"

namespace {

// Decimal integer at the start of the text; values beyond the int range saturate.
std::optional<int> parseNumber(const std::wstring& text, int)
{
    const wchar_t* start = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    const long long value = std::wcstoll(start, &end, 10);
    if (end == start)
        return std::nullopt;
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// Floating-point number at the start of the text (decimal, hexadecimal, inf); NaN and
// text without a number give nothing; overflow gives an infinity.
std::optional<float> parseNumber(const std::wstring& text, float)
{
    const wchar_t* start = text.c_str();
    wchar_t* end = nullptr;
    const float value = std::wcstof(start, &end);
    if (end == start || std::isnan(value))
        return std::nullopt;
    return value;
}

std::wstring formatNumber(int value, int)
{
    return std::to_wstring(value);
}

// Shortest of fixed and scientific notation (as printf's %g) with Decimals + 1
// significant digits when Decimals is above 0, otherwise Decimals (0 meaning 1). Decimals
// is limited to 0..20: a float holds no more digits.
std::wstring formatNumber(float value, int decimals)
{
    decimals = std::clamp(decimals, 0, 20);
    std::wostringstream text;
    text.precision(decimals > 0 ? decimals + 1 : decimals);
    text << value;
    return text.str();
}

// Int: 0 Val, 1 Min, 2 Max, 3 Txt. Float: 0 Val, 1 Min, 2 Max, 3 Decimals, 4 Txt.
template <typename T>
class NumberTextC : public SeGuiInvisibleBase {
    MpGuiPin<T> pinVal;
    MpGuiPin<T> pinMin;
    MpGuiPin<T> pinMax;
    MpGuiPin<int> pinDecimals;  // float only
    StringGuiPin pinTxt;

public:
    NumberTextC()
    {
        initializePin(pinVal, &NumberTextC::onSetVal);
        initializePin(pinMin);
        initializePin(pinMax);
        if constexpr (std::is_same_v<T, float>)
            initializePin(pinDecimals, &NumberTextC::onSetVal);
        initializePin(pinTxt, &NumberTextC::onSetTxt);
    }

    void onSetVal() { pinTxt = format(clamped(pinVal)); }

    void onSetTxt()
    {
        const std::optional<T> number = parseNumber(pinTxt.getValue(), T{});
        if (!number) {
            onSetVal();
            return;
        }
        if (*number < pinMin) {
            pinVal = pinMin.getValue();
            pinTxt = format(pinMin);
        } else if (*number > pinMax) {
            pinVal = pinMax.getValue();
            pinTxt = format(pinMax);
        } else {
            pinVal = *number;
        }
    }

private:
    // Min wins over Max when they cross.
    T clamped(T value) const { return value < pinMin ? pinMin.getValue() : std::min(value, pinMax.getValue()); }
    std::wstring format(T value) const { return formatNumber(value, pinDecimals); }
};

class KV_Int2TxtC : public NumberTextC<int> {};
class KV_Float2TxtC : public NumberTextC<float> {};

const bool registered = gmpi::Register<KV_Int2TxtC>::withId(L"KV_Int2TxtC") &&
                        gmpi::Register<KV_Float2TxtC>::withId(L"KV_Float2TxtC");

}  // namespace
