// Helpers of the drawing tests: a surface with brushes, and receiving owned objects.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/com_ptr.h"
#include "drawing/drawing_surface.h"

namespace drawing_testing {

namespace api = GmpiDrawing_API;
using mphost::ComPtr;
using mphost::Rgba;

// The out parameter through which an operation hands `pointer` a reference.
template <class Interface> Interface** out(ComPtr<Interface>& pointer)
{
    return reinterpret_cast<Interface**>(pointer.receive());
}

constexpr api::MP1_COLOR red{1, 0, 0, 1};
constexpr api::MP1_COLOR green{0, 1, 0, 1};
constexpr api::MP1_COLOR blue{0, 0, 1, 1};
constexpr api::MP1_COLOR white{1, 1, 1, 1};

// A surface and its device context.
struct Canvas {
    explicit Canvas(int width, int height) : surface(width, height), context(surface.deviceContext()) {}

    ComPtr<api::IMpSolidColorBrush> brush(api::MP1_COLOR color)
    {
        ComPtr<api::IMpSolidColorBrush> result;
        EXPECT_EQ(context->CreateSolidColorBrush(&color, out(result)), gmpi::MP_OK);
        return result;
    }
    ComPtr<api::IMpFactory> factory()
    {
        ComPtr<api::IMpFactory> result;
        context->GetFactory(out(result));
        return result;
    }
    ComPtr<api::IMpTextFormat> font(const char* family, float size)
    {
        ComPtr<api::IMpTextFormat> result;
        EXPECT_EQ(factory()->CreateTextFormat(family, nullptr, 400, 0, 5, size, nullptr, out(result)), gmpi::MP_OK);
        return result;
    }
    void fill(api::MP1_RECT rect, api::MP1_COLOR color) { context->FillRectangle(&rect, brush(color).get()); }
    // Pixels with any coverage within the rows and columns given (end exclusive).
    int inkCount(int left, int top, int right, int bottom) const
    {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                count += surface.pixel(x, y).a > 0 ? 1 : 0;
        return count;
    }

    mphost::DrawingSurface surface;
    api::IMpDeviceContext* context;
};

// Text received from the backend (MP_IID_RETURNSTRING).
class Text final : public gmpi::IString {
public:
    std::int32_t queryInterface(const gmpi::MpGuid&, void** returnInterface) override
    {
        *returnInterface = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t setData(const char* data, std::int32_t size) override
    {
        text.assign(data, static_cast<std::size_t>(std::max(0, size)));
        return gmpi::MP_OK;
    }
    std::int32_t getSize() override { return static_cast<std::int32_t>(text.size()); }
    const char* getData() override { return text.c_str(); }
    std::string text;
};

inline void PrintTo(const Rgba& pixel, std::ostream* stream)
{
    *stream << "{" << int(pixel.r) << ", " << int(pixel.g) << ", " << int(pixel.b) << ", " << int(pixel.a) << "}";
}

}  // namespace drawing_testing

namespace mphost {
inline void PrintTo(const Rgba& pixel, std::ostream* stream)
{
    drawing_testing::PrintTo(pixel, stream);
}
}  // namespace mphost
