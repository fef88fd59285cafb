// Hostile input to the drawing backend: null pointers, non-finite and absurd values,
// foreign objects, malformed text. Nothing may crash, and the context must keep drawing.
#include <filesystem>
#include <fstream>
#include <limits>
#include <unistd.h>

#include "drawing_test_support.h"

namespace {

using namespace drawing_testing;

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

// After hostile calls the context still draws normally.
void expectStillDraws(Canvas& canvas)
{
    canvas.surface.resetOrigin();
    canvas.context->Clear(nullptr);
    canvas.fill({0, 0, 2, 2}, green);
    EXPECT_EQ(canvas.surface.pixel(1, 1), (Rgba{0, 255, 0, 255}));
}

// A brush implemented outside the backend.
class ForeignBrush final : public api::IMpSolidColorBrush {
public:
    std::int32_t queryInterface(const gmpi::MpGuid&, void** r) override
    {
        *r = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    void GetFactory(api::IMpFactory** factory) override { *factory = nullptr; }
    void SetColor(const api::MP1_COLOR*) override {}
    api::MP1_COLOR GetColor() override { return red; }
};

TEST(DrawingHostile, NullPointersAreRefusedOrIgnored)
{
    Canvas canvas(10, 10);
    auto* dc = canvas.context;
    auto brush = canvas.brush(red);
    const api::MP1_RECT rect{0, 0, 5, 5};
    dc->DrawRectangle(nullptr, brush.get(), 1);
    dc->FillRectangle(&rect, nullptr);
    dc->FillRectangle(nullptr, nullptr);
    dc->DrawLine({0, 0}, {5, 5}, nullptr, 1);
    dc->DrawGeometry(nullptr, brush.get(), 1);
    dc->FillGeometry(nullptr, brush.get());
    dc->DrawEllipse(nullptr, brush.get(), 1);
    dc->FillEllipse(nullptr, brush.get());
    dc->DrawRoundedRectangle(nullptr, brush.get(), 1);
    dc->FillRoundedRectangle(nullptr, brush.get());
    dc->DrawTextU(nullptr, 5, nullptr, &rect, brush.get(), 0);
    dc->DrawTextU("x", 1, nullptr, &rect, brush.get(), 0);
    dc->DrawBitmap(nullptr, &rect, 1, 0, nullptr);
    dc->SetTransform(nullptr);
    dc->GetTransform(nullptr);
    dc->PushAxisAlignedClip(nullptr);
    dc->PopAxisAlignedClip();
    dc->GetAxisAlignedClip(nullptr);
    dc->DrawPolyline(nullptr, 5, brush.get(), 1);
    dc->Clear(nullptr);
    dc->GetFactory(nullptr);
    EXPECT_EQ(canvas.inkCount(0, 0, 10, 10), 0);

    EXPECT_EQ(dc->CreateSolidColorBrush(nullptr, nullptr), gmpi::MP_FAIL);
    ComPtr<api::IMpSolidColorBrush> solid;
    EXPECT_EQ(dc->CreateSolidColorBrush(nullptr, out(solid)), gmpi::MP_FAIL);
    EXPECT_FALSE(solid);
    ComPtr<api::IMpGradientStopCollection> stops;
    EXPECT_EQ(dc->CreateGradientStopCollection(nullptr, 3, out(stops)), gmpi::MP_FAIL);
    EXPECT_EQ(dc->CreateGradientStopCollection(nullptr, 0, out(stops)), gmpi::MP_OK);  // empty is allowed
    ComPtr<api::IMpLinearGradientBrush> linear;
    const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES line{{0, 0}, {1, 1}};
    EXPECT_EQ(dc->CreateLinearGradientBrush(&line, nullptr, out(linear)), gmpi::MP_FAIL);
    EXPECT_EQ(dc->CreateLinearGradientBrush(nullptr, stops.get(), out(linear)), gmpi::MP_FAIL);
    ComPtr<api::IMpRadialGradientBrush> radial;
    EXPECT_EQ(dc->CreateRadialGradientBrush(nullptr, stops.get(), out(radial)), gmpi::MP_FAIL);
    EXPECT_EQ(dc->CreateCompatibleRenderTarget(nullptr, nullptr), gmpi::MP_FAIL);
    EXPECT_EQ(dc->CreateCompatibleRenderTarget(nullptr, nullptr), gmpi::MP_FAIL);

    auto factory = canvas.factory();
    EXPECT_EQ(factory->CreatePathGeometry(nullptr), gmpi::MP_FAIL);
    EXPECT_EQ(factory->CreateTextFormat(nullptr, nullptr, 400, 0, 5, 12, nullptr, nullptr), gmpi::MP_FAIL);
    ComPtr<api::IMpTextFormat> fallback;
    EXPECT_EQ(factory->CreateTextFormat(nullptr, nullptr, 400, 0, 5, 12, nullptr, out(fallback)), gmpi::MP_OK);
    EXPECT_EQ(factory->CreateImage(4, 4, nullptr), gmpi::MP_FAIL);
    ComPtr<api::IMpBitmap> bitmap;
    EXPECT_EQ(factory->LoadImageU(nullptr, out(bitmap)), gmpi::MP_FAIL);
    EXPECT_EQ(factory->LoadImageU("", out(bitmap)), gmpi::MP_FAIL);
    EXPECT_EQ(fallback->GetTextExtentU(nullptr, 3, nullptr), gmpi::MP_FAIL);
    EXPECT_EQ(fallback->GetFontMetrics(nullptr), gmpi::MP_FAIL);
    expectStillDraws(canvas);
}

TEST(DrawingHostile, NonFiniteCoordinatesAreCountedAndIgnored)
{
    Canvas canvas(10, 10);
    auto* dc = canvas.context;
    auto brush = canvas.brush(red);
    const std::uint64_t processBefore = mphost::drawing::nonFiniteCoordinateCount();

    const api::MP1_RECT bad{0, 0, nan, 5};
    dc->FillRectangle(&bad, brush.get());
    dc->DrawRectangle(&bad, brush.get(), 1);
    dc->DrawLine({0, 0}, {inf, 5}, brush.get(), 1);
    dc->DrawLine({0, 0}, {5, 5}, brush.get(), nan);
    const api::MP1_ELLIPSE ellipse{{5, 5}, nan, 2};
    dc->FillEllipse(&ellipse, brush.get());
    const api::MP1_POINT points[] = {{0, 0}, {nan, 1}, {5, 5}};
    dc->DrawPolyline(points, 3, brush.get(), 1);
    const api::MP1_MATRIX_3X2 matrix{1, 0, 0, 1, inf, 0};
    dc->SetTransform(&matrix);
    dc->PushAxisAlignedClip(&bad);
    dc->PopAxisAlignedClip();
    dc->DrawTextU("x", 1, canvas.font("Arial", 10).get(), &bad, brush.get(), 0);
    ComPtr<api::IMpBitmap> bitmap;
    canvas.factory()->CreateImage(2, 2, out(bitmap));
    dc->DrawBitmap(bitmap.get(), nullptr, nan, 0, nullptr);
    const api::MP1_SIZE size{nan, 4};
    ComPtr<api::IMpBitmapRenderTarget> target;
    EXPECT_EQ(dc->CreateCompatibleRenderTarget(&size, out(target)), gmpi::MP_FAIL);

    EXPECT_EQ(canvas.inkCount(0, 0, 10, 10), 0);
    EXPECT_EQ(canvas.surface.nonFiniteCoordinates(), 11u);
    EXPECT_GE(mphost::drawing::nonFiniteCoordinateCount(), processBefore + 11);
    api::MP1_MATRIX_3X2 kept{};
    dc->GetTransform(&kept);
    EXPECT_EQ(kept._31, 0.0f);  // the non-finite transform was not taken
    expectStillDraws(canvas);
}

TEST(DrawingHostile, AbsurdSizesFailCleanly)
{
    Canvas canvas(10, 10);
    auto factory = canvas.factory();
    ComPtr<api::IMpBitmap> bitmap;
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{0, 0}, {-1, 5}, {16385, 1}, {1, 1 << 30}}) {
        EXPECT_EQ(factory->CreateImage(width, height, out(bitmap)), gmpi::MP_FAIL) << width << " x " << height;
        EXPECT_FALSE(bitmap);
    }
    ComPtr<api::IMpBitmapRenderTarget> target;
    for (const api::MP1_SIZE size : {api::MP1_SIZE{-1, 4}, api::MP1_SIZE{1e30f, 4}, api::MP1_SIZE{4, 20000}})
        EXPECT_EQ(canvas.context->CreateCompatibleRenderTarget(&size, out(target)), gmpi::MP_FAIL);
    // 0 x 0 gives the smallest target, which draws and snapshots normally.
    const api::MP1_SIZE empty{0, 0};
    ASSERT_EQ(canvas.context->CreateCompatibleRenderTarget(&empty, out(target)), gmpi::MP_OK);
    ComPtr<api::IMpBitmap> snapshot;
    EXPECT_EQ(target->GetBitmap(out(snapshot)), gmpi::MP_OK);

    ComPtr<api::IMpTextFormat> format;
    for (const float size : {0.0f, -3.0f, nan, inf, 1e30f, 5000.0f})
        EXPECT_EQ(factory->CreateTextFormat("Arial", nullptr, 400, 0, 5, size, nullptr, out(format)), gmpi::MP_FAIL);

    // Coordinates far beyond any surface are ignored (and do not hang the rasteriser).
    auto brush = canvas.brush(red);
    const api::MP1_ELLIPSE huge{{0, 0}, 1e30f, 1e30f};
    canvas.context->FillEllipse(&huge, brush.get());
    canvas.context->DrawLine({-1e9f, 0}, {1e9f, 5}, brush.get(), 1e9f);
    const api::MP1_RECT wide{-1e6f, -1e6f, 1e6f, 1e6f};
    canvas.context->DrawRectangle(&wide, brush.get(), 3);
    expectStillDraws(canvas);

    // A surface without pixels draws nothing and survives everything.
    mphost::DrawingSurface nothing(0, 0);
    nothing.deviceContext()->FillRectangle(&wide, brush.get());
    nothing.deviceContext()->Clear(&red);
    EXPECT_EQ(nothing.pixel(0, 0), Rgba{});
    EXPECT_FALSE(nothing.writePng("/nonexistent-dir/x.png"));
    mphost::DrawingSurface negative(-5, 1 << 30);
    EXPECT_EQ(negative.width(), 0);
    EXPECT_EQ(negative.height(), 16384);
}

TEST(DrawingHostile, SingularTransformsDrawNothingUntilReplaced)
{
    Canvas canvas(10, 10);
    const api::MP1_MATRIX_3X2 flat{0, 0, 0, 0, 0, 0};
    canvas.context->SetTransform(&flat);
    canvas.fill({0, 0, 10, 10}, red);
    api::MP1_RECT clip{1, 1, 1, 1};
    canvas.context->GetAxisAlignedClip(&clip);
    canvas.context->PushAxisAlignedClip(&clip);
    canvas.context->PopAxisAlignedClip();
    EXPECT_EQ(canvas.inkCount(0, 0, 10, 10), 0);
    const api::MP1_MATRIX_3X2 identity{1, 0, 0, 1, 0, 0};
    canvas.context->SetTransform(&identity);
    expectStillDraws(canvas);
}

TEST(DrawingHostile, MalformedTextIsDrawnSafely)
{
    Canvas canvas(200, 40);
    auto format = canvas.font("Arial", 14);
    auto brush = canvas.brush(white);
    const api::MP1_RECT layout{0, 0, 200, 40};
    const char broken[] = {'a', '\xC3', '\x28', '\xFF', '\0', 'b', '\xED', '\xA0', '\x80', '\xF0', '\x9F'};
    canvas.context->DrawTextU(broken, sizeof broken, format.get(), &layout, brush.get(), 0);
    EXPECT_GT(canvas.inkCount(0, 0, 200, 40), 0);
    api::MP1_SIZE extent{};
    EXPECT_EQ(format->GetTextExtentU(broken, sizeof broken, &extent), gmpi::MP_OK);
    EXPECT_GT(extent.width, 0);
    EXPECT_EQ(format->SetTextAlignment(7), gmpi::MP_FAIL);
    EXPECT_EQ(format->SetLineSpacing(nan, 0), gmpi::MP_FAIL);
    expectStillDraws(canvas);
    // Measuring still works after the malformed text.
    EXPECT_EQ(format->GetTextExtentU("ok", 2, &extent), gmpi::MP_OK);
    EXPECT_GT(extent.width, 5);
}

TEST(DrawingHostile, ForeignObjectsAndMisusedSinksAreIgnored)
{
    Canvas canvas(10, 10);
    ForeignBrush foreign;
    const api::MP1_RECT all{0, 0, 10, 10};
    canvas.context->FillRectangle(&all, &foreign);
    EXPECT_EQ(canvas.inkCount(0, 0, 10, 10), 0);

    ComPtr<api::IMpPathGeometry> path;
    ASSERT_EQ(canvas.factory()->CreatePathGeometry(out(path)), gmpi::MP_OK);
    ComPtr<api::IMpGeometrySink> sink;
    ASSERT_EQ(path->Open(out(sink)), gmpi::MP_OK);
    sink->AddLine({5, 5});  // before any figure
    sink->AddBezier(nullptr);
    sink->AddArc(nullptr);
    sink->AddLines(nullptr, 100);
    sink->BeginFigure({nan, 0}, 0);
    sink->BeginFigure({0, 0}, 0);
    sink->AddLine({10, 0});
    sink->AddLine({10, nan});
    sink->AddLine({10, 10});
    const api::MP1_ARC_SEGMENT degenerate{{10, 10}, {0, 0}, 0, 0, 0};  // same point, no radius
    sink->AddArc(&degenerate);
    EXPECT_EQ(sink->Close(), gmpi::MP_FAIL);  // the figure was still open
    sink->AddLine({0, 10});                   // after Close: ignored
    EXPECT_EQ(sink->Close(), gmpi::MP_FAIL);
    bool inside = false;
    EXPECT_EQ(path->FillContainsPoint({8, 2}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);
    EXPECT_EQ(path->FillContainsPoint({8, 2}, nullptr, nullptr), gmpi::MP_FAIL);
    const api::MP1_MATRIX_3X2 flat{0, 0, 0, 0, 0, 0};
    EXPECT_EQ(path->FillContainsPoint({8, 2}, &flat, &inside), gmpi::MP_FAIL);
    api::MP1_RECT bounds{};
    EXPECT_EQ(path->GetWidenedBounds(-1, nullptr, &bounds), gmpi::MP_FAIL);
    canvas.context->DrawGeometry(path.get(), canvas.brush(red).get(), -2);
    canvas.context->FillGeometry(path.get(), canvas.brush(red).get());
    EXPECT_GT(canvas.inkCount(0, 0, 10, 10), 0);
}

TEST(DrawingHostile, UnbalancedClipsAreResetWithTheOrigin)
{
    Canvas canvas(10, 10);
    const api::MP1_RECT corner{0, 0, 1, 1};
    for (int i = 0; i < 5; ++i)
        canvas.context->PushAxisAlignedClip(&corner);
    for (int i = 0; i < 9; ++i)
        canvas.context->PopAxisAlignedClip();  // more pops than pushes
    canvas.context->PushAxisAlignedClip(&corner);
    canvas.surface.resetOrigin();  // a new frame forgets the module's clips
    canvas.fill({0, 0, 10, 10}, red);
    EXPECT_EQ(canvas.surface.pixel(8, 8).r, 255);
}

TEST(DrawingHostile, LoadImageRefusesWhatIsNotAnImage)
{
    auto factory = mphost::drawing::createFactory();
    ComPtr<api::IMpBitmap> bitmap;
    EXPECT_EQ(factory->LoadImageU("/nonexistent/image.png", out(bitmap)), gmpi::MP_FAIL);
    EXPECT_EQ(factory->LoadImageU("/", out(bitmap)), gmpi::MP_FAIL);
    const auto file = std::filesystem::temp_directory_path() / ("not_an_image_" + std::to_string(::getpid()) + ".png");
    {
        std::ofstream stream(file, std::ios::binary);
        stream << "\x89PNG\r\n\x1a\n but nothing after the signature";
    }
    EXPECT_EQ(factory->LoadImageU(file.c_str(), out(bitmap)), gmpi::MP_FAIL);
    EXPECT_FALSE(bitmap);
    std::filesystem::remove(file);
}

}  // namespace
