// The cairo drawing backend through the drawing interfaces, probed pixel by pixel.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include <cstring>
#include <unistd.h>

#include "drawing_test_support.h"

namespace {

using namespace drawing_testing;

bool near(std::uint8_t actual, int expected, int tolerance = 1)
{
    return std::abs(int(actual) - expected) <= tolerance;
}

std::filesystem::path temporaryFile(const std::string& name)
{
    return std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()) + ".png");
}

TEST(DrawingColour, LinearLightBecomesSrgbBytes)
{
    Canvas canvas(20, 20);
    // 0.2158605 is sRGB byte 128 in linear light; 0.5 linear is sRGB 0.7354 (byte 188).
    canvas.fill({0, 0, 10, 20}, {0.2158605f, 0.0f, 1.0f, 1.0f});
    canvas.fill({10, 0, 20, 20}, {0.5f, 0.5f, 0.5f, 1.0f});
    const Rgba left = canvas.surface.pixel(5, 5);
    EXPECT_TRUE(near(left.r, 128)) << int(left.r);
    EXPECT_EQ(left.g, 0);
    EXPECT_EQ(left.b, 255);
    EXPECT_EQ(left.a, 255);
    EXPECT_TRUE(near(canvas.surface.pixel(15, 5).g, 188)) << int(canvas.surface.pixel(15, 5).g);
}

TEST(DrawingColour, AlphaStaysLinear)
{
    Canvas canvas(4, 4);
    canvas.fill({0, 0, 4, 4}, {1, 1, 1, 0.5f});
    const Rgba pixel = canvas.surface.pixel(1, 1);
    EXPECT_TRUE(near(pixel.a, 128)) << int(pixel.a);
    EXPECT_TRUE(near(pixel.r, 255));
}

TEST(DrawingBrushes, LinearGradientRunsFromFirstToLastStop)
{
    Canvas canvas(100, 10);
    const api::MP1_GRADIENT_STOP stops[] = {{1.0f, blue}, {0.0f, red}};  // any order
    ComPtr<api::IMpGradientStopCollection> collection;
    ASSERT_EQ(canvas.context->CreateGradientStopCollection(stops, 2, out(collection)), gmpi::MP_OK);
    EXPECT_EQ(collection->GetGradientStopCount(), 2u);
    const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES line{{0, 0}, {100, 0}};
    ComPtr<api::IMpLinearGradientBrush> gradient;
    ASSERT_EQ(canvas.context->CreateLinearGradientBrush(&line, collection.get(), out(gradient)), gmpi::MP_OK);
    const api::MP1_RECT all{0, 0, 100, 10};
    canvas.context->FillRectangle(&all, gradient.get());

    const Rgba start = canvas.surface.pixel(0, 5);
    const Rgba end = canvas.surface.pixel(99, 5);
    EXPECT_GE(start.r, 250);
    EXPECT_LE(start.b, 5);
    EXPECT_LE(end.r, 5);
    EXPECT_GE(end.b, 250);
    const Rgba middle = canvas.surface.pixel(50, 5);
    EXPECT_GT(middle.r, 60);
    EXPECT_GT(middle.b, 60);

    // Moving the end point moves the gradient.
    gradient->SetEndPoint({50, 0});
    canvas.context->FillRectangle(&all, gradient.get());
    EXPECT_GE(canvas.surface.pixel(60, 5).b, 250);
}

TEST(DrawingBrushes, RadialGradientIsCentreColourInsideAndEdgeColourOutside)
{
    Canvas canvas(100, 60);
    const api::MP1_GRADIENT_STOP stops[] = {{0.0f, white}, {1.0f, blue}};
    ComPtr<api::IMpGradientStopCollection> collection;
    ASSERT_EQ(canvas.context->CreateGradientStopCollection(stops, 2, out(collection)), gmpi::MP_OK);
    const api::MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES circle{{50, 30}, {0, 0}, 40, 20};
    ComPtr<api::IMpRadialGradientBrush> gradient;
    ASSERT_EQ(canvas.context->CreateRadialGradientBrush(&circle, collection.get(), out(gradient)), gmpi::MP_OK);
    const api::MP1_RECT all{0, 0, 100, 60};
    canvas.context->FillRectangle(&all, gradient.get());
    EXPECT_GE(canvas.surface.pixel(50, 30).r, 240);
    // Radii 40 across and 20 down: 15 pixels right is nearer the centre colour than
    // 15 pixels down, and beyond the radius the edge colour holds.
    EXPECT_GT(canvas.surface.pixel(65, 30).r, canvas.surface.pixel(50, 45).r + 50);
    EXPECT_LE(canvas.surface.pixel(50, 55).r, 5);
    EXPECT_GE(canvas.surface.pixel(50, 55).b, 250);
}

TEST(DrawingStrokes, OnePixelLineAtHalfPixelCoversExactlyItsRow)
{
    Canvas canvas(20, 8);
    canvas.context->DrawLine({0, 3.5f}, {20, 3.5f}, canvas.brush(white).get(), 1.0f);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(canvas.surface.pixel(x, 3).a, 255) << x;
        EXPECT_EQ(canvas.surface.pixel(x, 2).a, 0) << x;
        EXPECT_EQ(canvas.surface.pixel(x, 4).a, 0) << x;
    }
}

TEST(DrawingStrokes, PolylineAndShapesDrawWhereAsked)
{
    Canvas canvas(60, 60);
    const api::MP1_POINT points[] = {{5.5f, 5}, {5.5f, 50.5f}, {50, 50.5f}};
    canvas.context->DrawPolyline(points, 3, canvas.brush(red).get(), 1.0f);
    EXPECT_EQ(canvas.surface.pixel(5, 30), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(canvas.surface.pixel(30, 50), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(canvas.surface.pixel(30, 30).a, 0);

    const api::MP1_ELLIPSE ellipse{{40, 20}, 10, 5};
    canvas.context->FillEllipse(&ellipse, canvas.brush(green).get());
    EXPECT_EQ(canvas.surface.pixel(40, 20).g, 255);
    EXPECT_EQ(canvas.surface.pixel(40, 27).a, 0);  // below the 5-pixel radius
    EXPECT_EQ(canvas.surface.pixel(48, 20).g, 255);

    const api::MP1_ROUNDED_RECT rounded{{10, 10, 30, 30}, 8, 8};
    Canvas second(40, 40);
    second.context->FillRoundedRectangle(&rounded, second.brush(blue).get());
    EXPECT_EQ(second.surface.pixel(20, 20).b, 255);
    EXPECT_EQ(second.surface.pixel(10, 10).a, 0);  // the corner is cut
    EXPECT_EQ(second.surface.pixel(20, 10).b, 255);
}

TEST(DrawingClips, ClipStopsDrawingOutsideAndPopRestores)
{
    Canvas canvas(40, 40);
    const api::MP1_RECT clip{10, 10, 20, 20};
    canvas.context->PushAxisAlignedClip(&clip);
    api::MP1_RECT reported{};
    canvas.context->GetAxisAlignedClip(&reported);
    EXPECT_EQ(reported.left, 10);
    EXPECT_EQ(reported.bottom, 20);
    canvas.fill({0, 0, 40, 40}, red);
    EXPECT_EQ(canvas.surface.pixel(5, 5).a, 0);
    EXPECT_EQ(canvas.surface.pixel(15, 15).r, 255);
    EXPECT_EQ(canvas.surface.pixel(25, 15).a, 0);

    // Nested clips intersect.
    const api::MP1_RECT inner{15, 0, 40, 40};
    canvas.context->PushAxisAlignedClip(&inner);
    canvas.fill({0, 0, 40, 40}, blue);
    EXPECT_EQ(canvas.surface.pixel(12, 12).r, 255);
    EXPECT_EQ(canvas.surface.pixel(17, 12).b, 255);
    EXPECT_EQ(canvas.surface.pixel(30, 30).a, 0);
    canvas.context->PopAxisAlignedClip();
    canvas.context->PopAxisAlignedClip();
    canvas.fill({30, 30, 40, 40}, green);
    EXPECT_EQ(canvas.surface.pixel(35, 35).g, 255);
}

TEST(DrawingClips, ClearReplacesPixelsUnderTheClipOnly)
{
    Canvas canvas(20, 20);
    canvas.fill({0, 0, 20, 20}, red);
    const api::MP1_RECT clip{0, 0, 10, 20};
    canvas.context->PushAxisAlignedClip(&clip);
    canvas.context->Clear(nullptr);
    canvas.context->PopAxisAlignedClip();
    EXPECT_EQ(canvas.surface.pixel(5, 5).a, 0);
    EXPECT_EQ(canvas.surface.pixel(15, 5).r, 255);
    const api::MP1_COLOR halfBlue{0, 0, 1, 0.5f};
    canvas.context->Clear(&halfBlue);  // replaces, does not blend
    const Rgba pixel = canvas.surface.pixel(15, 5);
    EXPECT_EQ(pixel.r, 0);
    EXPECT_TRUE(near(pixel.a, 128));
}

TEST(DrawingTransforms, TransformMovesDrawingAndTheReportedClip)
{
    Canvas canvas(40, 40);
    const api::MP1_MATRIX_3X2 shift{1, 0, 0, 1, 20, 10};
    canvas.context->SetTransform(&shift);
    canvas.fill({0, 0, 5, 5}, red);
    EXPECT_EQ(canvas.surface.pixel(22, 12).r, 255);
    EXPECT_EQ(canvas.surface.pixel(2, 2).a, 0);
    api::MP1_RECT clip{};
    canvas.context->GetAxisAlignedClip(&clip);
    EXPECT_EQ(clip.left, -20);
    EXPECT_EQ(clip.top, -10);
    api::MP1_MATRIX_3X2 back{};
    canvas.context->GetTransform(&back);
    EXPECT_EQ(back._31, 20);

    const api::MP1_MATRIX_3X2 doubled{2, 0, 0, 2, 0, 0};
    canvas.context->SetTransform(&doubled);
    canvas.fill({0, 0, 2, 2}, blue);
    EXPECT_EQ(canvas.surface.pixel(3, 3).b, 255);
}

TEST(DrawingSurface, OriginAndClipPlaceAModuleInAPanel)
{
    Canvas canvas(100, 100);
    const api::MP1_RECT slot{50, 50, 70, 60};
    canvas.surface.setOrigin(50, 50, &slot);
    canvas.fill({0, 0, 100, 100}, green);  // larger than the slot
    const api::MP1_RECT spill{-10, -10, 0, 0};
    canvas.fill(spill, red);
    canvas.surface.resetOrigin();
    EXPECT_EQ(canvas.surface.pixel(55, 55).g, 255);
    EXPECT_EQ(canvas.surface.pixel(75, 55).a, 0);
    EXPECT_EQ(canvas.surface.pixel(55, 65).a, 0);
    EXPECT_EQ(canvas.surface.pixel(45, 45).a, 0);
}

TEST(DrawingGeometry, FillModesHollowFiguresAndHitTests)
{
    Canvas canvas(40, 40);
    ComPtr<api::IMpPathGeometry> path;
    ASSERT_EQ(canvas.factory()->CreatePathGeometry(out(path)), gmpi::MP_OK);
    ComPtr<api::IMpGeometrySink> sink;
    ASSERT_EQ(path->Open(out(sink)), gmpi::MP_OK);
    // Two nested squares drawn the same way round.
    const auto square = [&](float a, float b) {
        sink->BeginFigure({a, a}, api::MP1_FIGURE_BEGIN_FILLED);
        const api::MP1_POINT corners[] = {{b, a}, {b, b}, {a, b}};
        sink->AddLines(corners, 3);
        sink->EndFigure(api::MP1_FIGURE_END_CLOSED);
    };
    square(0, 40);
    square(10, 30);
    EXPECT_EQ(sink->Close(), gmpi::MP_OK);
    ComPtr<api::IMpGeometrySink> again;
    EXPECT_EQ(path->Open(out(again)), gmpi::MP_FAIL);

    bool inside = true;
    ASSERT_EQ(path->FillContainsPoint({20, 20}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_FALSE(inside);  // alternate: the inner square is a hole
    ASSERT_EQ(path->FillContainsPoint({5, 5}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);
    ASSERT_EQ(path->StrokeContainsPoint({10, 20}, 2, nullptr, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);
    const api::MP1_MATRIX_3X2 shift{1, 0, 0, 1, 100, 0};
    ASSERT_EQ(path->FillContainsPoint({105, 5}, &shift, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);

    api::MP1_RECT bounds{};
    ASSERT_EQ(path->GetWidenedBounds(2, nullptr, &bounds), gmpi::MP_OK);
    EXPECT_NEAR(bounds.left, -1, 0.01);
    EXPECT_NEAR(bounds.right, 41, 0.01);
    ASSERT_EQ(path->GetWidenedBounds(0, &shift, &bounds), gmpi::MP_OK);
    EXPECT_NEAR(bounds.left, 100, 0.01);

    canvas.context->FillGeometry(path.get(), canvas.brush(red).get());
    EXPECT_EQ(canvas.surface.pixel(5, 5).r, 255);
    EXPECT_EQ(canvas.surface.pixel(20, 20).a, 0);

    // Winding fills the hole; a hollow figure is never filled.
    ComPtr<api::IMpPathGeometry> winding;
    ASSERT_EQ(canvas.factory()->CreatePathGeometry(out(winding)), gmpi::MP_OK);
    ASSERT_EQ(winding->Open(out(sink)), gmpi::MP_OK);
    sink->SetFillMode(api::MP1_FILL_MODE_WINDING);
    square(0, 40);
    square(10, 30);
    sink->BeginFigure({50, 50}, api::MP1_FIGURE_BEGIN_HOLLOW);
    sink->AddLine({60, 50});
    sink->AddLine({60, 60});
    sink->EndFigure(api::MP1_FIGURE_END_CLOSED);
    sink->Close();
    ASSERT_EQ(winding->FillContainsPoint({20, 20}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);
    ASSERT_EQ(winding->FillContainsPoint({58, 52}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_FALSE(inside);
}

TEST(DrawingGeometry, CurvesAndArcsEndWhereAsked)
{
    Canvas canvas(10, 10);
    ComPtr<api::IMpPathGeometry> path;
    ASSERT_EQ(canvas.factory()->CreatePathGeometry(out(path)), gmpi::MP_OK);
    ComPtr<api::IMpGeometrySink> sink;
    ASSERT_EQ(path->Open(out(sink)), gmpi::MP_OK);
    // A half circle of radius 10 from (0, 0) clockwise to (20, 0): on screen (y down)
    // it bulges upwards to y = -10.
    sink->BeginFigure({0, 0}, api::MP1_FIGURE_BEGIN_FILLED);
    const api::MP1_ARC_SEGMENT arc{{20, 0}, {10, 10}, 0, 1, 0};
    sink->AddArc(&arc);
    const api::MP1_QUADRATIC_BEZIER_SEGMENT quadratic{{20, 20}, {0, 20}};
    sink->AddQuadraticBezier(&quadratic);
    sink->EndFigure(api::MP1_FIGURE_END_CLOSED);
    EXPECT_EQ(sink->Close(), gmpi::MP_OK);
    api::MP1_RECT bounds{};
    ASSERT_EQ(path->GetWidenedBounds(0, nullptr, &bounds), gmpi::MP_OK);
    EXPECT_NEAR(bounds.top, -10, 0.05);
    EXPECT_NEAR(bounds.left, 0, 0.05);
    EXPECT_NEAR(bounds.right, 20, 0.05);
    EXPECT_NEAR(bounds.bottom, 20, 0.05);  // control point bound of the quadratic curve

    bool inside = false;
    ASSERT_EQ(path->FillContainsPoint({10, -9}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_TRUE(inside);
    ASSERT_EQ(path->FillContainsPoint({1, -9}, nullptr, &inside), gmpi::MP_OK);
    EXPECT_FALSE(inside);  // outside the circle
}

TEST(DrawingText, ArialMetricsArePlausible)
{
    Canvas canvas(10, 10);
    ComPtr<api::IMpTextFormat> arial = canvas.font("Arial", 20);
    ASSERT_TRUE(arial);
    api::MP1_FONT_METRICS metrics{};
    ASSERT_EQ(arial->GetFontMetrics(&metrics), gmpi::MP_OK);
    // The metric-compatible face: ascent 0.905 em, descent 0.212 em, caps about 0.7 em.
    EXPECT_NEAR(metrics.ascent, 18.1, 0.2);
    EXPECT_NEAR(metrics.descent, 4.24, 0.2);
    EXPECT_GT(metrics.capHeight, 13.0);
    EXPECT_LT(metrics.capHeight, 15.0);
    EXPECT_GT(metrics.xHeight, 8);
    EXPECT_LT(metrics.xHeight, metrics.capHeight);
    EXPECT_GE(metrics.lineGap, 0);

    api::MP1_SIZE one{};
    api::MP1_SIZE two{};
    ASSERT_EQ(arial->GetTextExtentU("Hello", -1, &one), gmpi::MP_OK);
    ASSERT_EQ(arial->GetTextExtentU("Hello Hello", 11, &two), gmpi::MP_OK);
    EXPECT_GT(one.width, 30);
    EXPECT_LT(one.width, 70);
    EXPECT_GT(two.width, 2 * one.width);
    EXPECT_NEAR(one.height, metrics.ascent + metrics.descent + metrics.lineGap, 0.01);

    // "Verdana" resolves to a face too, wider than Arial.
    ComPtr<api::IMpTextFormat> verdana = canvas.font("Verdana", 20);
    api::MP1_SIZE wide{};
    ASSERT_EQ(verdana->GetTextExtentU("Hello", -1, &wide), gmpi::MP_OK);
    EXPECT_GT(wide.width, one.width);
}

TEST(DrawingText, InkStaysInsideTheLayoutRectangleAndFollowsAlignment)
{
    Canvas canvas(200, 80);
    ComPtr<api::IMpTextFormat> arial = canvas.font("Arial", 16);
    const api::MP1_RECT layout{20, 20, 180, 60};
    canvas.context->DrawTextU("Hello", -1, arial.get(), &layout, canvas.brush(white).get(), 0);
    const int total = canvas.inkCount(0, 0, 200, 80);
    EXPECT_GT(total, 50);
    EXPECT_EQ(canvas.inkCount(20, 20, 180, 60), total);
    EXPECT_EQ(canvas.inkCount(100, 0, 200, 80), 0);  // leading alignment: left half only

    Canvas centred(200, 80);
    arial->SetTextAlignment(api::MP1_TEXT_ALIGNMENT_CENTER);
    arial->SetParagraphAlignment(api::MP1_PARAGRAPH_ALIGNMENT_CENTER);
    centred.context->DrawTextU("Hello", -1, arial.get(), &layout, centred.brush(white).get(), 0);
    const int leftHalf = centred.inkCount(0, 0, 100, 80);
    const int rightHalf = centred.inkCount(100, 0, 200, 80);
    EXPECT_GT(leftHalf, 0);
    EXPECT_GT(rightHalf, 0);
    EXPECT_EQ(centred.inkCount(0, 0, 200, 28), 0);  // centred vertically in 20 .. 60
    EXPECT_EQ(centred.inkCount(0, 52, 200, 80), 0);
}

TEST(DrawingText, WrappingBreaksLinesAndClipOptionCuts)
{
    ComPtr<api::IMpTextFormat> arial;
    Canvas canvas(200, 200);
    arial = canvas.font("Arial", 14);
    const api::MP1_RECT narrow{0, 0, 40, 200};  // one word per line
    canvas.context->DrawTextU("one two three four", -1, arial.get(), &narrow, canvas.brush(white).get(), 0);
    api::MP1_SIZE line{};
    arial->GetTextExtentU("x", 1, &line);
    // Four lines of ink, none past the rectangle.
    EXPECT_GT(canvas.inkCount(0, static_cast<int>(3 * line.height), 200, static_cast<int>(4 * line.height)), 0);
    EXPECT_EQ(canvas.inkCount(0, static_cast<int>(4 * line.height) + 1, 200, 200), 0);
    EXPECT_EQ(canvas.inkCount(41, 0, 200, 200), 0);

    Canvas unwrapped(300, 100);
    arial->SetWordWrapping(api::MP1_WORD_WRAPPING_NO_WRAP);
    unwrapped.context->DrawTextU("one two three four", -1, arial.get(), &narrow, unwrapped.brush(white).get(), 0);
    EXPECT_GT(unwrapped.inkCount(41, 0, 300, 100), 0);  // runs past the rectangle
    EXPECT_EQ(unwrapped.inkCount(0, static_cast<int>(line.height) + 1, 300, 100), 0);

    Canvas clipped(300, 100);
    clipped.context->DrawTextU("one two three four", -1, arial.get(), &narrow, clipped.brush(white).get(),
                               api::MP1_DRAW_TEXT_OPTIONS_CLIP);
    EXPECT_EQ(clipped.inkCount(40, 0, 300, 100), 0);
}

TEST(DrawingText, FontFamiliesAreEnumerated)
{
    auto factory = mphost::drawing::createFactory();
    ComPtr<api::IMpFactory2> second = factory.as<api::IMpFactory2>(api::SE_IID_FACTORY2_MPGUI);
    ASSERT_TRUE(second);
    Text name;
    std::set<std::string> names;
    for (int index = 0; second->GetFontFamilyName(index, &name) == gmpi::MP_OK; ++index)
        names.insert(name.text);
    EXPECT_TRUE(names.count("Liberation Sans"));
    // The names skins use, served by metric-compatible faces.
    EXPECT_TRUE(names.count("Arial"));
    EXPECT_TRUE(names.count("Verdana"));
    EXPECT_TRUE(names.count("Times New Roman"));
    EXPECT_EQ(second->GetFontFamilyName(-1, &name), gmpi::MP_FAIL);
}

TEST(DrawingBitmaps, PngRoundTripThroughLoadImage)
{
    Canvas canvas(8, 4);
    canvas.fill({0, 0, 4, 4}, red);
    canvas.fill({4, 0, 8, 4}, {0, 0, 1, 0.5f});
    const auto file = temporaryFile("drawing_round_trip");
    ASSERT_TRUE(canvas.surface.writePng(file));

    ComPtr<api::IMpBitmap> bitmap;
    ASSERT_EQ(canvas.factory()->LoadImageU(file.c_str(), out(bitmap)), gmpi::MP_OK);
    std::filesystem::remove(file);
    api::MP1_SIZE_U size{};
    ASSERT_EQ(bitmap->GetSize(&size), gmpi::MP_OK);
    EXPECT_EQ(size.width, 8u);
    EXPECT_EQ(size.height, 4u);
    EXPECT_EQ(bitmap->GetSizeF().width, 8.0f);

    ComPtr<api::IMpBitmapPixels> pixels;
    ASSERT_EQ(bitmap->lockPixels(out(pixels), api::MP1_BITMAP_LOCK_READ), gmpi::MP_OK);
    EXPECT_EQ(pixels->getPixelFormat(), api::MP1_PIXEL_FORMAT_BGRA_SRGB);
    const std::uint8_t* row = pixels->getAddress() + pixels->getBytesPerRow();
    // B, G, R, A premultiplied.
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[2], 255);
    EXPECT_EQ(row[3], 255);
    EXPECT_TRUE(near(row[4 * 5 + 0], 128));
    EXPECT_TRUE(near(row[4 * 5 + 3], 128));
    pixels.reset();

    // Drawn back, it reproduces the original.
    Canvas copy(8, 4);
    copy.context->DrawBitmap(bitmap.get(), nullptr, 1.0f, 0, nullptr);
    EXPECT_EQ(copy.surface.pixel(1, 1), canvas.surface.pixel(1, 1));
    EXPECT_EQ(copy.surface.pixel(6, 2), canvas.surface.pixel(6, 2));
}

TEST(DrawingBitmaps, WrittenPixelsReachDrawingAfterTheLockGoes)
{
    Canvas canvas(4, 4);
    ComPtr<api::IMpBitmap> bitmap;
    ASSERT_EQ(canvas.factory()->CreateImage(2, 2, out(bitmap)), gmpi::MP_OK);
    // Drawn once before writing, so that any cached copy would be stale.
    canvas.context->DrawBitmap(bitmap.get(), nullptr, 1.0f, 0, nullptr);
    {
        ComPtr<api::IMpBitmapPixels> pixels;
        ASSERT_EQ(bitmap->lockPixels(out(pixels), api::MP1_BITMAP_LOCK_WRITE), gmpi::MP_OK);
        std::uint8_t* first = pixels->getAddress();
        EXPECT_EQ(first[3], 0);  // new bitmaps are transparent
        const std::uint8_t green[] = {0, 255, 0, 255};
        std::memcpy(first, green, 4);
    }
    // Scaled up twice with nearest-neighbour sampling.
    const api::MP1_RECT destination{0, 0, 4, 4};
    canvas.context->DrawBitmap(bitmap.get(), &destination, 1.0f, api::MP1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                               nullptr);
    EXPECT_EQ(canvas.surface.pixel(1, 1), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(canvas.surface.pixel(3, 3).a, 0);

    // A source part only.
    Canvas part(4, 4);
    const api::MP1_RECT source{0, 0, 1, 1};
    part.context->DrawBitmap(bitmap.get(), &destination, 0.5f, 0, &source);
    EXPECT_EQ(part.surface.pixel(3, 3).g, 255);
    EXPECT_TRUE(near(part.surface.pixel(3, 3).a, 128));
}

TEST(DrawingBitmaps, RenderTargetBitmapIsASnapshot)
{
    Canvas canvas(10, 10);
    const api::MP1_SIZE size{4.2f, 3.0f};
    ComPtr<api::IMpBitmapRenderTarget> target;
    ASSERT_EQ(canvas.context->CreateCompatibleRenderTarget(&size, out(target)), gmpi::MP_OK);
    target->BeginDraw();
    ComPtr<api::IMpSolidColorBrush> redBrush;
    target->CreateSolidColorBrush(&red, out(redBrush));
    const api::MP1_RECT all{0, 0, 10, 10};
    target->FillRectangle(&all, redBrush.get());
    EXPECT_EQ(target->EndDraw(), gmpi::MP_OK);
    ComPtr<api::IMpBitmap> snapshot;
    ASSERT_EQ(target->GetBitmap(out(snapshot)), gmpi::MP_OK);
    api::MP1_SIZE_U pixels{};
    snapshot->GetSize(&pixels);
    EXPECT_EQ(pixels.width, 5u);  // rounded up
    EXPECT_EQ(pixels.height, 3u);

    redBrush->SetColor(&blue);
    target->FillRectangle(&all, redBrush.get());
    canvas.context->DrawBitmap(snapshot.get(), nullptr, 1.0f, 0, nullptr);
    EXPECT_EQ(canvas.surface.pixel(1, 1), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(canvas.surface.pixel(6, 1).a, 0);
}

TEST(DrawingObjects, ResourcesKnowTheirFactoryAndInterfaces)
{
    Canvas canvas(2, 2);
    auto factory = canvas.factory();
    ASSERT_TRUE(factory);
    ComPtr<api::IMpSolidColorBrush> brush = canvas.brush(red);
    ComPtr<api::IMpFactory> brushFactory;
    brush->GetFactory(out(brushFactory));
    EXPECT_EQ(brushFactory.get(), factory.get());
    EXPECT_EQ(brush->GetColor().r, 1.0f);

    auto context = ComPtr<api::IMpDeviceContext>::adopt(canvas.context);
    canvas.context->addRef();
    EXPECT_TRUE(context.as<api::IMpDeviceContext>(api::SE_IID_DEVICECONTEXT_MPGUI));
    ComPtr<api::IMpTextFormat> format = canvas.font("Arial", 12);
    EXPECT_TRUE(format.as<api::IMpTextFormat>(api::SE_IID_TEXTFORMAT_MPGUI));
    EXPECT_FALSE(format.as<api::IMpTextFormat>(api::SE_IID_DEVICECONTEXT_MPGUI));
}

}  // namespace
