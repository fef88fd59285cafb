#include "validate/values.h"

#include <cmath>
#include <limits>

#include "mp_api.h"

namespace mphost::validation {

std::uint64_t checkSeed(std::uint64_t seed, const std::string& id, int subType, const std::string& check)
{
    std::uint64_t hash = 1469598103934665603ull ^ seed;
    for (const char c : id + "/" + std::to_string(subType) + "/" + check)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

int uniformInt(Random& random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

float uniformFloat(Random& random, float low, float high)
{
    return std::uniform_real_distribution<float>(low, high)(random);
}

bool sameValue(float a, float b)
{
    const auto flushed = [](float x) { return std::fpclassify(x) == FP_SUBNORMAL ? 0.0f : x; };
    a = flushed(a);
    b = flushed(b);
    return a == b || (std::isnan(a) && std::isnan(b));
}

namespace {

PinValue makeText(Random& random, bool hostile)
{
    if (!hostile)
        return pick(random, std::vector<std::wstring>{L"", L"0", L"hello", L"1.5", L"(0,0)(1,1)", L"a.wav",
                                                      L"(-5,5)(0,0)(5,-5)"});
    switch (uniformInt(random, 0, 5)) {
    case 0: return std::wstring(100000, L'x');
    case 1: return std::wstring(L"((((((((");
    case 2: return std::wstring(L"(1e999,-1e999)(nan,inf)(,)");
    case 3: return std::wstring{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'\0', L'a'};
    case 4: return std::wstring(L"/nonexistent/folder/with/a/long/name/../file.wav");
    default: {
        std::wstring text(static_cast<std::size_t>(uniformInt(random, 1, 64)), L' ');
        for (auto& c : text)
            c = static_cast<wchar_t>(uniformInt(random, 1, 0x7F));
        return text;
    }
    }
}

PinValue makeBlob(Random& random, bool hostile)
{
    static const int sizes[] = {0, 1, 3, 4, 7, 64, 1024, 4 << 20};
    const int size = hostile ? sizes[uniformInt(random, 0, 7)] : 4 * uniformInt(random, 0, 256);
    Bytes bytes(static_cast<std::size_t>(size));
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(uniformInt(random, 0, 255));
    return bytes;
}

}  // namespace

PinValue makeValue(Random& random, int datatype, bool hostile)
{
    switch (datatype) {
    case gmpi::MP_ENUM:
    case gmpi::MP_INT32:
        if (!hostile)
            return uniformInt(random, -2, 12);
        return pick(random, std::vector<std::int32_t>{0, -1, std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max(), 1000000000,
                                                      -1000000000, 65536});
    case gmpi::MP_FLOAT32:
        if (!hostile)
            return pick(random, std::vector<float>{0.0f, 1.0f, 0.5f, -1.0f, 10.0f, uniformFloat(random, -2, 2),
                                                   uniformFloat(random, 0, 1), 440.0f});
        return pick(random, std::vector<float>{std::numeric_limits<float>::quiet_NaN(),
                                               std::numeric_limits<float>::infinity(),
                                               -std::numeric_limits<float>::infinity(), 1e-40f, -1e-40f,
                                               std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                                               0.0f, -0.0f, 1e30f});
    case gmpi::MP_BOOL: return uniformInt(random, 0, 1) == 1;
    case gmpi::MP_STRING: return makeText(random, hostile);
    case gmpi::MP_BLOB: return makeBlob(random, hostile);
    default: return Bytes{};
    }
}

Bytes makeMidi(Random& random, bool hostile)
{
    if (hostile) {
        Bytes bytes(static_cast<std::size_t>(pick(random, std::vector<int>{0, 1, 2, 1000})));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(uniformInt(random, 0, 255));
        return bytes;
    }
    return Bytes{static_cast<std::uint8_t>(pick(random, std::vector<int>{0x80, 0x90, 0xB0, 0xE0})),
                 static_cast<std::uint8_t>(uniformInt(random, 0, 127)),
                 static_cast<std::uint8_t>(uniformInt(random, 0, 127))};
}

}  // namespace mphost::validation
