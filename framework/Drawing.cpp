#include "Drawing.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "mp_sdk_gui.h"

namespace se_sdk {

namespace {

float srgbToLinear(double x)
{
    return static_cast<float>(x <= 0.0404482362771082 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4));
}

std::array<float, 1024> makeGammaTables()
{
    std::array<float, 1024> tables{};
    for (int i = 1; i < 256; ++i) {
        const double x = i / 255.0;
        tables[i] = srgbToLinear(x);
        tables[256 + i] = static_cast<float>(std::pow(x, 2.2));
        tables[512 + i] = srgbToLinear((i - 0.5) / 255.0);
        const double y = std::pow(x, 2.2);
        tables[768 + i] =
            static_cast<float>(y <= 0.00313066844250063 ? y * 12.92 : 1.055 * std::pow(y, 1.0 / 2.4) - 0.055);
    }
    return tables;
}

}  // namespace

const std::array<float, 1024>& gammaLookupTables()
{
    static const std::array<float, 1024> tables = makeGammaTables();
    return tables;
}

}  // namespace se_sdk

namespace GmpiDrawing {

using namespace GmpiDrawing_API;

Color Color::FromBytes(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha)
{
    const auto& toLinear = se_sdk::gammaLookupTables();
    return Color(toLinear[red], toLinear[green], toLinear[blue], alpha / 255.0f);
}

Color Color::FromArgb(std::uint32_t argb)
{
    return FromBytes(static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                     static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24));
}

Color hexStringToColor(const std::wstring& text)
{
    // wcstoul saturates at ULONG_MAX for longer numbers; the low 32 bits are the colour.
    const unsigned long value = std::wcstoul(text.c_str(), nullptr, 16);
    return Color::FromArgb(static_cast<std::uint32_t>(value));
}

// ---------------------------------------------------------------------------------

void SolidColorBrush::SetColor(Color color)
{
    if (object)
        static_cast<IMpSolidColorBrush*>(object)->SetColor(&color);
}

void GeometrySink::BeginFigure(Point startPoint, FigureBegin figureBegin)
{
    if (object)
        object->BeginFigure(startPoint, static_cast<std::int32_t>(figureBegin));
}

void GeometrySink::AddLine(Point point)
{
    if (object)
        object->AddLine(point);
}

void GeometrySink::AddLines(const std::vector<Point>& points)
{
    static_assert(sizeof(Point) == sizeof(MP1_POINT));
    if (object && !points.empty())
        object->AddLines(points.data(), static_cast<std::uint32_t>(points.size()));
}

void GeometrySink::AddBezier(Point point1, Point point2, Point point3)
{
    const MP1_BEZIER_SEGMENT segment{point1, point2, point3};
    if (object)
        object->AddBezier(&segment);
}

void GeometrySink::AddQuadraticBezier(Point point1, Point point2)
{
    const MP1_QUADRATIC_BEZIER_SEGMENT segment{point1, point2};
    if (object)
        object->AddQuadraticBezier(&segment);
}

void GeometrySink::AddArc(const MP1_ARC_SEGMENT& arc)
{
    if (object)
        object->AddArc(&arc);
}

void GeometrySink::EndFigure(FigureEnd figureEnd)
{
    if (object)
        object->EndFigure(static_cast<std::int32_t>(figureEnd));
}

void GeometrySink::SetFillMode(std::int32_t fillMode)
{
    if (object)
        object->SetFillMode(fillMode);
}

void GeometrySink::Close()
{
    if (object)
        object->Close();
}

GeometrySink PathGeometry::Open()
{
    GeometrySink sink;
    if (object)
        object->Open(sink.GetAddressOf());
    return sink;
}

bool PathGeometry::FillContainsPoint(Point point) const
{
    bool contains = false;
    if (object)
        object->FillContainsPoint(point, nullptr, &contains);
    return contains;
}

bool PathGeometry::StrokeContainsPoint(Point point, float strokeWidth) const
{
    bool contains = false;
    if (object)
        object->StrokeContainsPoint(point, strokeWidth, nullptr, &contains);
    return contains;
}

SizeU Bitmap::GetSize() const
{
    SizeU size;
    if (object)
        object->GetSize(&size);
    return size;
}

Size Bitmap::GetSizeF() const { return object ? Size(object->GetSizeF()) : Size(); }

BitmapPixels Bitmap::lockPixels(std::int32_t flags)
{
    BitmapPixels pixels;
    if (object)
        object->lockPixels(pixels.GetAddressOf(), flags);
    return pixels;
}

Factory Bitmap::GetFactory() const
{
    Factory factory;
    if (object)
        object->GetFactory(factory.GetAddressOf());
    return factory;
}

Size TextFormat_readonly::GetTextExtentU(const std::string& text) const
{
    Size size;
    if (object)
        object->GetTextExtentU(text.data(), static_cast<std::int32_t>(text.size()), &size);
    return size;
}

FontMetrics TextFormat_readonly::GetFontMetrics() const
{
    FontMetrics metrics;
    if (object)
        object->GetFontMetrics(&metrics);
    return metrics;
}

void TextFormat::SetTextAlignment(std::int32_t alignment)
{
    if (object)
        object->SetTextAlignment(alignment);
}

void TextFormat::SetParagraphAlignment(std::int32_t alignment)
{
    if (object)
        object->SetParagraphAlignment(alignment);
}

void TextFormat::SetWordWrapping(std::int32_t wrapping)
{
    if (object)
        object->SetWordWrapping(wrapping);
}

void TextFormat::SetLineSpacing(float lineSpacing, float baseline)
{
    if (object)
        object->SetLineSpacing(lineSpacing, baseline);
}

PathGeometry Factory::CreatePathGeometry() const
{
    PathGeometry geometry;
    if (object)
        object->CreatePathGeometry(geometry.GetAddressOf());
    return geometry;
}

TextFormat Factory::CreateTextFormat(float height, const char* family, std::int32_t weight, std::int32_t style,
                                     std::int32_t stretch) const
{
    TextFormat format;
    if (object)
        object->CreateTextFormat(family, nullptr, weight, style, stretch, height, nullptr, format.GetAddressOf());
    return format;
}

Bitmap Factory::CreateImage(std::int32_t width, std::int32_t height) const
{
    Bitmap bitmap;
    if (object)
        object->CreateImage(width, height, bitmap.GetAddressOf());
    return bitmap;
}

Bitmap Factory::LoadImageU(const std::string& path) const
{
    Bitmap bitmap;
    if (object)
        object->LoadImageU(path.c_str(), bitmap.GetAddressOf());
    return bitmap;
}

bool Factory::GetFontFamilyName(std::int32_t index, std::string& name) const
{
    if (!object)
        return false;
    Object<IMpFactory2> factory2;
    if (object->queryInterface(SE_IID_FACTORY2_MPGUI, reinterpret_cast<void**>(factory2.GetAddressOf())) !=
            gmpi::MP_OK ||
        !factory2)
        return false;
    gmpi_sdk::MpString text;
    if (factory2.Get()->GetFontFamilyName(index, &text) != gmpi::MP_OK)
        return false;
    name = text.str();
    return true;
}

TextFormat Factory::CreateTextFormat2(float height, const FontStack& families, std::int32_t weight,
                                      std::int32_t style, std::int32_t stretch, bool fitCapHeight)
{
    if (!object)
        return {};
    if (!table)
        table = std::make_shared<FamilyTable>();
    if (!table->listed) {
        table->listed = true;
        Object<IMpFactory2> factory2;
        if (object->queryInterface(SE_IID_FACTORY2_MPGUI, reinterpret_cast<void**>(factory2.GetAddressOf())) ==
                gmpi::MP_OK &&
            factory2) {
            table->families.push_back({"Arial", {0.0f, 0.0f}});
            // Bounded: a factory that never reports the end still lets this finish.
            for (std::int32_t index = 0; index < 100000; ++index) {
                gmpi_sdk::MpString name;
                if (factory2.Get()->GetFontFamilyName(index, &name) != gmpi::MP_OK)
                    break;
                table->families.push_back({name.str(), {0.0f, 0.0f}});
            }
        } else if (!families.empty()) {
            table->families.push_back({families.front(), {0.0f, 0.0f}});
        }
    }

    const auto tryFamily = [&](const std::string& family, bool& found) -> TextFormat {
        auto entry = std::find_if(table->families.begin(), table->families.end(),
                                  [&family](const auto& known) { return known.first == family; });
        if (entry == table->families.end())
            return {};
        found = true;
        auto& ratios = entry->second;
        if (ratios.first == 0.0f) {
            constexpr float probeSize = 32.0f;
            const TextFormat probe = CreateTextFormat(probeSize, family.c_str(), weight, style, stretch);
            const FontMetrics metrics = probe.GetFontMetrics();
            const float body = metrics.ascent + metrics.descent;
            // Metrics a face cannot give leave the size as asked.
            ratios.first = body > 0.0f && std::isfinite(body) ? probeSize / body : 1.0f;
            ratios.second = metrics.capHeight > 0.0f && std::isfinite(metrics.capHeight)
                                ? probeSize / metrics.capHeight
                                : ratios.first;
        }
        return CreateTextFormat(height * (fitCapHeight ? ratios.second : ratios.first), family.c_str(), weight, style,
                                stretch);
    };

    for (const std::string& family : families) {
        bool found = false;
        TextFormat format = tryFamily(family, found);
        if (found)
            return format;
    }
    // None of the stack is installed: "Arial", known to every factory from here on.
    if (std::none_of(table->families.begin(), table->families.end(),
                     [](const auto& known) { return known.first == "Arial"; }))
        table->families.push_back({"Arial", {0.0f, 0.0f}});
    bool found = false;
    return tryFamily("Arial", found);
}

// ---------------------------------------------------------------------------------

Factory Graphics_base::GetFactory() const
{
    Factory factory;
    if (object)
        object->GetFactory(factory.GetAddressOf());
    return factory;
}

SolidColorBrush Graphics_base::CreateSolidColorBrush(Color color)
{
    IMpSolidColorBrush* brush = nullptr;
    if (object)
        object->CreateSolidColorBrush(&color, &brush);
    return SolidColorBrush(brush);
}

GradientStopCollection Graphics_base::CreateGradientStopCollection(const std::vector<MP1_GRADIENT_STOP>& stops)
{
    GradientStopCollection collection;
    if (object)
        object->CreateGradientStopCollection(stops.data(), static_cast<std::uint32_t>(stops.size()),
                                             collection.GetAddressOf());
    return collection;
}

LinearGradientBrush Graphics_base::CreateLinearGradientBrush(Color color1, Color color2, Point point1, Point point2)
{
    return CreateLinearGradientBrush(CreateGradientStopCollection({{0.0f, color1}, {1.0f, color2}}), point1, point2);
}

LinearGradientBrush Graphics_base::CreateLinearGradientBrush(const GradientStopCollection& stops, Point point1,
                                                             Point point2)
{
    const MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES properties{point1, point2};
    IMpLinearGradientBrush* brush = nullptr;
    if (object && stops)
        object->CreateLinearGradientBrush(&properties, stops.Get(), &brush);
    return LinearGradientBrush(brush);
}

RadialGradientBrush Graphics_base::CreateRadialGradientBrush(Point center, float radius, Color color1, Color color2)
{
    const GradientStopCollection stops = CreateGradientStopCollection({{0.0f, color1}, {1.0f, color2}});
    const MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES properties{center, {0.0f, 0.0f}, radius, radius};
    IMpRadialGradientBrush* brush = nullptr;
    if (object && stops)
        object->CreateRadialGradientBrush(&properties, stops.Get(), &brush);
    return RadialGradientBrush(brush);
}

void Graphics_base::Clear(Color color)
{
    if (object)
        object->Clear(&color);
}

void Graphics_base::FillRectangle(const Rect& rect, const Brush& brush)
{
    if (object && brush)
        object->FillRectangle(&rect, brush.Get());
}

void Graphics_base::DrawRectangle(const Rect& rect, const Brush& brush, float strokeWidth)
{
    if (object && brush)
        object->DrawRectangle(&rect, brush.Get(), strokeWidth);
}

void Graphics_base::DrawLine(Point point0, Point point1, const Brush& brush, float strokeWidth)
{
    if (object && brush)
        object->DrawLine(point0, point1, brush.Get(), strokeWidth);
}

void Graphics_base::DrawPolyline(const std::vector<Point>& points, const Brush& brush, float strokeWidth)
{
    if (object && brush && !points.empty())
        object->DrawPolyline(points.data(), static_cast<std::uint32_t>(points.size()), brush.Get(), strokeWidth);
}

void Graphics_base::FillGeometry(const PathGeometry& geometry, const Brush& brush)
{
    if (object && geometry && brush)
        object->FillGeometry(geometry.Get(), brush.Get());
}

void Graphics_base::DrawGeometry(const PathGeometry& geometry, const Brush& brush, float strokeWidth)
{
    if (object && geometry && brush)
        object->DrawGeometry(geometry.Get(), brush.Get(), strokeWidth);
}

void Graphics_base::FillEllipse(Point center, float radiusX, float radiusY, const Brush& brush)
{
    const MP1_ELLIPSE ellipse{center, radiusX, radiusY};
    if (object && brush)
        object->FillEllipse(&ellipse, brush.Get());
}

void Graphics_base::DrawEllipse(Point center, float radiusX, float radiusY, const Brush& brush, float strokeWidth)
{
    const MP1_ELLIPSE ellipse{center, radiusX, radiusY};
    if (object && brush)
        object->DrawEllipse(&ellipse, brush.Get(), strokeWidth);
}

void Graphics_base::FillRoundedRectangle(const Rect& rect, float radius, const Brush& brush)
{
    const MP1_ROUNDED_RECT rounded{rect, radius, radius};
    if (object && brush)
        object->FillRoundedRectangle(&rounded, brush.Get());
}

void Graphics_base::DrawRoundedRectangle(const Rect& rect, float radius, const Brush& brush, float strokeWidth)
{
    const MP1_ROUNDED_RECT rounded{rect, radius, radius};
    if (object && brush)
        object->DrawRoundedRectangle(&rounded, brush.Get(), strokeWidth);
}

void Graphics_base::DrawTextU(const std::string& text, const TextFormat_readonly& format, const Rect& layoutRect,
                              const Brush& brush, std::int32_t options)
{
    if (object && format && brush)
        object->DrawTextU(text.data(), static_cast<std::int32_t>(text.size()), format.Get(), &layoutRect, brush.Get(),
                          options);
}

void Graphics_base::DrawBitmap(const Bitmap& bitmap, const Rect& destination, const Rect& source, float opacity)
{
    if (object && bitmap)
        object->DrawBitmap(bitmap.Get(), &destination, opacity, MP1_BITMAP_INTERPOLATION_MODE_LINEAR, &source);
}

void Graphics_base::DrawBitmap(const Bitmap& bitmap, Point topLeft)
{
    const Size size = bitmap.GetSizeF();
    const Rect source(0.0f, 0.0f, size.width, size.height);
    DrawBitmap(bitmap, Rect(topLeft.x, topLeft.y, topLeft.x + size.width, topLeft.y + size.height), source);
}

void Graphics_base::SetTransform(const Matrix3x2& transform)
{
    if (object)
        object->SetTransform(&transform);
}

Matrix3x2 Graphics_base::GetTransform() const
{
    Matrix3x2 transform;
    if (object)
        object->GetTransform(&transform);
    return transform;
}

void Graphics_base::PushAxisAlignedClip(const Rect& clip)
{
    if (object)
        object->PushAxisAlignedClip(&clip);
}

void Graphics_base::PopAxisAlignedClip()
{
    if (object)
        object->PopAxisAlignedClip();
}

Rect Graphics_base::GetAxisAlignedClip() const
{
    Rect clip;
    if (object)
        object->GetAxisAlignedClip(&clip);
    return clip;
}

BitmapRenderTarget Graphics_base::CreateCompatibleRenderTarget(Size size)
{
    IMpBitmapRenderTarget* target = nullptr;
    if (object)
        object->CreateCompatibleRenderTarget(&size, &target);
    return BitmapRenderTarget(target);
}

void Graphics_base::BeginDraw()
{
    if (object)
        object->BeginDraw();
}

void Graphics_base::EndDraw()
{
    if (object)
        object->EndDraw();
}

Graphics::Graphics(IMpDeviceContext* context) : Graphics_base(context)
{
    if (context)
        context->addRef();
}

Bitmap BitmapRenderTarget::GetBitmap()
{
    Bitmap bitmap;
    if (object)
        static_cast<IMpBitmapRenderTarget*>(object)->GetBitmap(bitmap.GetAddressOf());
    return bitmap;
}

}  // namespace GmpiDrawing
