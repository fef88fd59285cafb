// The image and font caches of the framework against the reference host's GUI host,
// skin folder and drawing backend: loading once per factory, old-skin transparency, skin
// bitmap positions, font categories and fitted heights.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Drawing.h"
#include "FontCache.h"
#include "ImageCache.h"
#include "drawing/drawing_surface.h"
#include "services/gui_host.h"
#include "skinBitmap.h"

namespace fs = std::filesystem;
namespace api = GmpiDrawing_API;
using mphost::GuiHost;
using mphost::Rgba;

namespace {

struct TempSkin {
    fs::path path;
    TempSkin()
    {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("skin_cache_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~TempSkin()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
    void write(const std::string& name, const std::string& contents) const
    {
        std::ofstream(path / name, std::ios::binary) << contents;
    }
    // A PNG of `width` x `height` whose rows of each `frameHeight` band have grey level
    // 20 x band index (band 0 black), drawn by the host's backend.
    void strip(const std::string& name, int width, int height, int frameHeight) const
    {
        mphost::DrawingSurface surface(width, height);
        for (int band = 0; band * frameHeight < height; ++band) {
            const auto level = static_cast<std::uint8_t>(std::min(255, band * 20));
            api::MP1_RECT rect{0, static_cast<float>(band * frameHeight), static_cast<float>(width),
                               static_cast<float>(std::min(height, (band + 1) * frameHeight))};
            const GmpiDrawing::Color colour = GmpiDrawing::Color::FromBytes(level, level, level);
            api::IMpSolidColorBrush* brush = nullptr;
            surface.deviceContext()->CreateSolidColorBrush(&colour, &brush);
            surface.deviceContext()->FillRectangle(&rect, brush);
            brush->release();
        }
        ASSERT_TRUE(surface.writePng(path / name));
    }
    // A 24-bit BMP of `width` x 1 pixels, each given as {b, g, r}.
    void bmp(const std::string& name, const std::vector<std::array<std::uint8_t, 3>>& pixels) const
    {
        const std::uint32_t width = static_cast<std::uint32_t>(pixels.size());
        const std::uint32_t rowBytes = (width * 3 + 3) & ~3u;
        std::string file(54 + rowBytes, '\0');
        const auto put32 = [&file](std::size_t at, std::uint32_t value) { std::memcpy(&file[at], &value, 4); };
        const auto put16 = [&file](std::size_t at, std::uint16_t value) { std::memcpy(&file[at], &value, 2); };
        file[0] = 'B';
        file[1] = 'M';
        put32(2, static_cast<std::uint32_t>(file.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, width);
        put32(22, 1);
        put16(26, 1);
        put16(28, 24);
        put32(34, rowBytes);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            std::memcpy(&file[54 + i * 3], pixels[i].data(), 3);
        write(name, file);
    }
};

GuiHost hostFor(const fs::path& skin)
{
    mphost::GuiHostSettings settings;
    settings.skinFolder = skin;
    return GuiHost(settings, {});
}

// What the GUI harness does for a module's host: hand it the drawing factory.
void giveFactory(GuiHost& host)
{
    host.graphics().setFactory(mphost::drawing::sharedFactory());
}

// Straight-alpha bytes B, G, R, A of pixel x of row y.
std::array<std::uint8_t, 4> pixelOf(GmpiDrawing::Bitmap& bitmap, int x, int y)
{
    GmpiDrawing::BitmapPixels pixels = bitmap.lockPixels();
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), pixels.getAddress() + y * pixels.getBytesPerRow() + x * 4, 4);
    return bytes;
}

// One client for the test's duration, so entries live until it ends.
struct CacheClient {
    CacheClient() { ImageCache::instance()->AddClient(); }
    ~CacheClient() { ImageCache::instance()->RemoveClient(); }
};

}  // namespace

TEST(ImageCache, LoadsOncePerFactoryAndSharesMetadata)
{
    TempSkin skin;
    skin.strip("knob.png", 50, 500, 50);
    skin.write("knob.txt", "frame_size 50 50\n");
    GuiHost first = hostFor(skin.path);
    giveFactory(first);
    GuiHost second = hostFor(skin.path);
    giveFactory(second);
    GuiHost otherWindow = hostFor(skin.path);
    giveFactory(otherWindow);
    otherWindow.graphics().setFactory(mphost::drawing::createFactory());

    {
        CacheClient client;
        ImageCache& cache = *ImageCache::instance();
        ImageMetadata* a = nullptr;
        ImageMetadata* b = nullptr;
        ImageMetadata* c = nullptr;
        GmpiDrawing::Bitmap bitmapA = cache.GetImage(&first, &first.graphics(), "knob", &a);
        GmpiDrawing::Bitmap bitmapB = cache.GetImage(&second, &second.graphics(), "knob.png", &b);
        ASSERT_TRUE(bitmapA);
        EXPECT_EQ(bitmapA.Get(), bitmapB.Get());
        EXPECT_EQ(a, b);
        EXPECT_EQ(cache.entryCount(), 1u);
        EXPECT_EQ(a->frameHeight, 50);
        EXPECT_EQ(a->imageHeight, 500u);

        GmpiDrawing::Bitmap bitmapC = cache.GetImage(&otherWindow, &otherWindow.graphics(), "knob", &c);
        ASSERT_TRUE(bitmapC);
        EXPECT_NE(bitmapC.Get(), bitmapA.Get());
        EXPECT_NE(c, a);
        EXPECT_EQ(cache.entryCount(), 2u);

        // Unknown names give null and no metadata.
        ImageMetadata* none = a;
        EXPECT_FALSE(cache.GetImage(&first, &first.graphics(), "missing", &none));
        EXPECT_EQ(none, nullptr);
        EXPECT_FALSE(cache.GetImage(&first, &first.graphics(), "", &none));
        EXPECT_FALSE(cache.GetImage(&first, nullptr, "knob", &none));
    }
    // The last client gone empties the cache.
    EXPECT_EQ(ImageCache::instance()->entryCount(), 0u);
}

TEST(ImageCache, WithoutMetadataTheImageIsOneFrame)
{
    TempSkin skin;
    skin.strip("plain.png", 30, 40, 40);
    GuiHost host = hostFor(skin.path);
    giveFactory(host);
    CacheClient client;
    skinBitmap image;
    ASSERT_EQ(image.Load(&host, &host.graphics(), "plain"), gmpi::MP_OK);
    EXPECT_EQ(image.getMetadata()->frameWidth, 30);
    EXPECT_EQ(image.getMetadata()->frameHeight, 40);
    EXPECT_EQ(image.getLastFrame(), 0);
    EXPECT_EQ(image.Load(&host, &host.graphics(), ""), gmpi::MP_FAIL);
    EXPECT_EQ(image.Load(&host, &host.graphics(), nullptr), gmpi::MP_FAIL);
    EXPECT_FALSE(image.calcDrawAt(0.5f));  // no image: no change
}

TEST(ImageCache, OldSkinMaskAndTransparentPixel)
{
    TempSkin skin;
    skin.bmp("button.bmp", {{{255, 255, 255}}, {{255, 255, 255}}, {{0, 0, 255}}});
    skin.bmp("button_mask.bmp", {{{255, 255, 255}}, {{0, 0, 0}}, {{128, 128, 128}}});
    skin.bmp("keyed.bmp", {{{255, 0, 255}}, {{10, 20, 30}}, {{255, 0, 255}}});
    skin.write("keyed.txt", "transparent_pixel 0 0\n");
    GuiHost host = hostFor(skin.path);
    giveFactory(host);
    CacheClient client;

    GmpiDrawing::Bitmap masked = ImageCache::instance()->GetImage(&host, &host.graphics(), "button.bmp", nullptr);
    ASSERT_TRUE(masked);
    EXPECT_EQ(pixelOf(masked, 0, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(masked, 1, 0), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
    const auto half = pixelOf(masked, 2, 0);
    EXPECT_EQ(half[3], 127);
    EXPECT_EQ(half[0], 0);
    // The host's bitmaps are sRGB: red premultiplied in linear light.
    EXPECT_NEAR(se_sdk::gammaLookupTables()[half[2]], 127.0f / 255.0f, 0.005f);

    GmpiDrawing::Bitmap keyed = ImageCache::instance()->GetImage(&host, &host.graphics(), "keyed", nullptr);
    ASSERT_TRUE(keyed);
    EXPECT_EQ(pixelOf(keyed, 0, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(keyed, 2, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(keyed, 1, 0), (std::array<std::uint8_t, 4>{10, 20, 30, 255}));
}

TEST(SkinBitmap, FramesOfAStrip)
{
    TempSkin skin;
    skin.strip("knob.png", 50, 500, 50);
    skin.write("knob.txt", "frame_size 50 50\n");
    skin.strip("flat.png", 50, 500, 50);
    skin.write("flat.txt", "frame_size 50 0\n");  // a frame height of 0
    GuiHost host = hostFor(skin.path);
    giveFactory(host);
    CacheClient client;

    skinBitmap knob;
    ASSERT_EQ(knob.Load(&host, &host.graphics(), "knob"), gmpi::MP_OK);
    EXPECT_EQ(knob.getLastFrame(), 9);
    EXPECT_TRUE(knob.calcDrawAt(1.0f));
    EXPECT_EQ(knob.getDrawAt(), 450);
    EXPECT_FALSE(knob.calcDrawAt(2.0f));  // clamped to 1: unchanged
    knob.calcDrawAt(0.5f);
    EXPECT_EQ(knob.getDrawAt(), 250);  // frame trunc(4.5 + 0.5)
    knob.calcDrawAt(std::nanf(""));
    EXPECT_EQ(knob.getDrawAt(), 0);
    knob.setStepCount(3);
    knob.calcDrawAt(0.3f);  // quantised to 0.5
    EXPECT_EQ(knob.getDrawAt(), 250);

    // Frame 5 (grey 100) drawn at the origin.
    mphost::DrawingSurface surface(50, 50);
    GmpiDrawing::Graphics graphics(surface.deviceContext());
    knob.renderBitmap(graphics, api::MP1_SIZE_U{0, 0});
    EXPECT_EQ(surface.pixel(25, 25), (Rgba{100, 100, 100, 255}));
    EXPECT_TRUE(knob.bitmapHitTestLocal({10, 10}));
    EXPECT_FALSE(knob.bitmapHitTestLocal({60, 10}));

    skinBitmap flat;
    ASSERT_EQ(flat.Load(&host, &host.graphics(), "flat"), gmpi::MP_OK);
    EXPECT_EQ(flat.getLastFrame(), 0);
    flat.calcDrawAt(1.0f);
    EXPECT_EQ(flat.getDrawAt(), 0);
    flat.renderBitmap(graphics, api::MP1_SIZE_U{0, 0});
}

TEST(SkinBitmap, SliderAndBargraphPositions)
{
    TempSkin skin;
    skin.strip("vertical.png", 20, 120, 120);
    skin.write("vertical.txt", "type slider\nhandle_range 0 100\norientation vertical\nhandle_rect 0 0 20 10\n");
    skin.strip("horizontal.png", 120, 20, 20);
    skin.write("horizontal.txt", "type slider\nhandle_range 10 110\nmouse_response horizontal\nhandle_rect 0 0 10 20\n");
    skin.strip("bar.png", 10, 100, 50);
    skin.write("bar.txt", "type bargraph\nframe_size 10 50\nsegment 2 10\nsegment_count 4\n");
    GuiHost host = hostFor(skin.path);
    giveFactory(host);
    CacheClient client;

    skinBitmap vertical;
    ASSERT_EQ(vertical.Load(&host, &host.graphics(), "vertical"), gmpi::MP_OK);
    vertical.calcDrawAt(1.0f);
    EXPECT_EQ(vertical.getDrawAt(), 0);
    vertical.calcDrawAt(0.0f);
    EXPECT_EQ(vertical.getDrawAt(), 100);
    EXPECT_TRUE(vertical.bitmapHitTestLocal({5, 105}));
    EXPECT_FALSE(vertical.bitmapHitTestLocal({5, 5}));

    skinBitmap horizontal;
    ASSERT_EQ(horizontal.Load(&host, &host.graphics(), "horizontal"), gmpi::MP_OK);
    horizontal.calcDrawAt(0.5f);
    EXPECT_EQ(horizontal.getDrawAt(), 60);
    horizontal.calcDrawAt(0.0f);
    EXPECT_EQ(horizontal.getDrawAt(), 10);

    skinBitmap bar;
    ASSERT_EQ(bar.Load(&host, &host.graphics(), "bar"), gmpi::MP_OK);
    bar.calcDrawAt(0.5f);
    EXPECT_EQ(bar.getDrawAt(), 21);  // trunc(0.5 x 5) x 10 + 2 - 1
    EXPECT_TRUE(bar.bitmapHitTestLocal({-100, -100}));
    // The lit part (second frame, grey 20) covers the bottom 21 rows.
    mphost::DrawingSurface surface(10, 50);
    GmpiDrawing::Graphics graphics(surface.deviceContext());
    bar.renderBitmap(graphics, api::MP1_SIZE_U{0, 0});
    EXPECT_EQ(surface.pixel(5, 45), (Rgba{20, 20, 20, 255}));
    EXPECT_EQ(surface.pixel(5, 10), (Rgba{0, 0, 0, 255}));
}

TEST(SkinBitmap, PlaceholderWithoutImage)
{
    mphost::DrawingSurface surface(40, 40);
    GmpiDrawing::Graphics graphics(surface.deviceContext());
    skinBitmap none;
    none.renderBitmap(graphics, api::MP1_SIZE_U{0, 0});
    // A filled rectangle with a light "X" across its middle.
    EXPECT_EQ(surface.pixel(1, 1).a, 255);
    int light = 0;
    for (int x = 0; x < 40; ++x)
        light += surface.pixel(x, 20).r > 200 ? 1 : 0;
    EXPECT_GT(light, 0);
}

// ---------------------------------------------------------------------------------

namespace {
struct FontClient {
    FontClient() { FontCache::instance()->AddClient(); }
    ~FontClient() { FontCache::instance()->RemoveClient(); }
};
}  // namespace

TEST(FontCache, CategoriesSharedPerFactoryAndSkin)
{
    TempSkin skin;
    skin.write("global.txt",
               "FONT_CATEGORY Title\nfont-family Verdana\nfont-size 20\nfont-color #FF0000\n"
               "FONT_CATEGORY fitted\nfont-family NoSuchFamily Verdana\nGDI_pixelHeight 30\nlegacy-vertical-offset 0\n");
    GuiHost host = hostFor(skin.path);
    giveFactory(host);
    GuiHost otherWindow = hostFor(skin.path);
    giveFactory(otherWindow);
    otherWindow.graphics().setFactory(mphost::drawing::createFactory());
    TempSkin bare;  // no global file
    GuiHost bareHost = hostFor(bare.path);
    giveFactory(bareHost);

    FontClient client;
    FontCache& cache = *FontCache::instance();
    FontMetadata* metadata = nullptr;
    auto title = cache.GetTextFormat(&host, &host.graphics(), "title", &metadata);
    ASSERT_TRUE(title);
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(metadata->size, 20);
    EXPECT_EQ(metadata->fontColor, 0xFF0000FFu);
    EXPECT_EQ(cache.GetTextFormat(&host, &host.graphics(), "TITLE").Get(), title.Get());
    EXPECT_EQ(cache.formatCount(), 1u);
    EXPECT_NE(cache.GetTextFormat(&otherWindow, &otherWindow.graphics(), "title").Get(), title.Get());
    EXPECT_EQ(cache.formatCount(), 2u);
    // Legacy layout: the factory's size as given (one line of about 1.16 x 20 pixels).
    const auto legacy = title.GetFontMetrics();
    EXPECT_GT(legacy.ascent + legacy.descent, 20.0f);

    // Fitted to 30 pixels of ascent plus descent, in the first installed family.
    auto fitted = cache.GetTextFormat(&host, &host.graphics(), "fitted", &metadata);
    ASSERT_TRUE(fitted);
    const auto metrics = fitted.GetFontMetrics();
    EXPECT_NEAR(metrics.ascent + metrics.descent, 30.0f, 0.5f);

    // A skin without a global file: every category is "Arial" 12.
    cache.GetTextFormat(&bareHost, &bareHost.graphics(), "title", &metadata);
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(metadata->category, "default");
    EXPECT_EQ(metadata->families, (std::vector<std::string>{"Arial"}));

    // Custom formats: a changed copy of a category under a new name, cached.
    auto custom = cache.GetCustomTextFormat(&host, &host.graphics(), "big title", "title",
                                            [](FontMetadata* font) { font->size = 40; }, &metadata);
    ASSERT_TRUE(custom);
    EXPECT_EQ(metadata->category, "big title");
    EXPECT_EQ(metadata->size, 40);
    EXPECT_EQ(cache.GetCustomTextFormat(&host, &host.graphics(), "big title", "title", nullptr).Get(), custom.Get());
}

TEST(FontCache, FittedHeightsAndFamilyFallback)
{
    const mphost::ComPtr<api::IMpFactory> hostFactory = mphost::drawing::createFactory();
    hostFactory->addRef();
    GmpiDrawing::Factory factory(hostFactory.get());  // takes the added reference
    // Body height (ascent + descent) and cap height fitted to 24 pixels.
    const auto body = factory.CreateTextFormat2(24.0f, {"Verdana"}).GetFontMetrics();
    EXPECT_NEAR(body.ascent + body.descent, 24.0f, 0.5f);
    const auto caps = factory.CreateTextFormat2(24.0f, {"Verdana"}, 400, 0, 5, true).GetFontMetrics();
    EXPECT_NEAR(caps.capHeight, 24.0f, 0.5f);

    const auto ratiosOf = [&factory](const std::string& family) {
        for (const auto& known : factory.familyTable()->families)
            if (known.first == family)
                return known.second;
        return std::pair<float, float>{-1.0f, -1.0f};
    };
    EXPECT_GT(ratiosOf("Verdana").first, 0.0f);
    EXPECT_EQ(ratiosOf("Arial").first, 0.0f);  // listed, not measured yet
    EXPECT_EQ(ratiosOf("NoSuchFamily").first, -1.0f);

    // A missing family falls back to the next listed one, and to "Arial" when none is
    // installed; the copy of the wrapper shares what was measured.
    GmpiDrawing::Factory copy = factory;
    EXPECT_TRUE(copy.CreateTextFormat2(16.0f, {"NoSuchFamily", "Verdana"}));
    EXPECT_EQ(ratiosOf("Arial").first, 0.0f);
    EXPECT_TRUE(copy.CreateTextFormat2(16.0f, {"NoSuchFamily", "AlsoMissing"}));
    EXPECT_GT(ratiosOf("Arial").first, 0.0f);
    // A null factory gives a null format.
    EXPECT_FALSE(GmpiDrawing::Factory().CreateTextFormat2(16.0f, {"Arial"}));
}

TEST(ImageCache, CustomImagesByFactoryAndName)
{
    const mphost::ComPtr<api::IMpFactory> hostFactory = mphost::drawing::createFactory();
    hostFactory->addRef();
    GmpiDrawing::Factory factory(hostFactory.get());
    const mphost::ComPtr<api::IMpFactory> otherFactory = mphost::drawing::createFactory();
    CacheClient client;
    ImageCache& cache = *ImageCache::instance();
    GmpiDrawing::Bitmap made = factory.CreateImage(8, 4);
    cache.RegisterCustomImage("made:meter", made);
    EXPECT_EQ(cache.GetCustomImage(hostFactory.get(), "made:meter").Get(), made.Get());
    EXPECT_FALSE(cache.GetCustomImage(otherFactory.get(), "made:meter"));
    EXPECT_FALSE(cache.GetCustomImage(hostFactory.get(), "made:other"));
    EXPECT_FALSE(cache.GetCustomImage(hostFactory.get(), nullptr));
    cache.RegisterCustomImage(nullptr, made);
    cache.RegisterCustomImage("null", GmpiDrawing::Bitmap());
    EXPECT_EQ(cache.entryCount(), 1u);
}
