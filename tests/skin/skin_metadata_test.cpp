// The skin text parsers and pixel helpers of the framework, tested directly: image
// metadata keys and their rules, the global font file, mask premultiplication.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Drawing.h"
#include "FontCache.h"
#include "ImageCache.h"
#include "ImageMetadata.h"

namespace {

ImageMetadata parsed(const std::string& text)
{
    ImageMetadata metadata;
    metadata.Parse(text.data(), text.size());
    return metadata;
}

SkinMetadata skinOf(const std::string& text)
{
    SkinMetadata skin;
    skin.Parse(text.data(), text.size());
    return skin;
}

}  // namespace

TEST(ImageMetadataText, KeysAndTheirValues)
{
    const ImageMetadata m = parsed(
        "type slider\r\n"
        "frame_size 50 50\n"
        "padding 1 2 3 4\n"
        "handle_range 3 90\n"
        "transparent_pixel 7 8\n"
        "handle_rect 1 2 11 12\n"
        "segment_count 9");
    EXPECT_EQ(m.type, ABT_SLIDER);
    EXPECT_EQ(m.frameWidth, 50);
    EXPECT_EQ(m.frameHeight, 50);
    // a and b go to the third and fourth values, c and d to the first and second.
    EXPECT_EQ(std::vector<float>(m.padding, m.padding + 4), (std::vector<float>{3, 4, 1, 2}));
    EXPECT_EQ(m.handleRangeStart, 3);
    EXPECT_EQ(m.handleRangeEnd, 90);
    EXPECT_EQ(m.transparentPixelX, 7);
    EXPECT_EQ(m.transparentPixelY, 8);
    EXPECT_EQ(std::vector<float>(m.handleRect, m.handleRect + 4), (std::vector<float>{1, 2, 11, 12}));
    EXPECT_EQ(m.segmentValue, 9.0f);

    EXPECT_EQ(parsed("type knob").type, ABT_ANIMATED);
    EXPECT_EQ(parsed("type animated").type, ABT_ANIMATED);
    EXPECT_EQ(parsed("type button").type, ABT_BUTTON);
    EXPECT_EQ(parsed("type bargraph").type, ABT_BARGRAPH);
    EXPECT_EQ(parsed("segment 4 6").handleRangeEnd, 6);
    EXPECT_EQ(parsed("line_end_length 3").segmentValue, 3.0f);
}

TEST(ImageMetadataText, NumbersAreIntegersAndOddLinesAreIgnored)
{
    EXPECT_EQ(parsed("segment_count 1.5").segmentValue, 1.0f);  // read as an integer
    EXPECT_EQ(parsed("padding 1.9 2 3 4").padding[2], 1.0f);
    // Keys are case sensitive; too few values or an unknown key change nothing.
    const ImageMetadata defaults;
    for (const char* text : {"Frame_size 5 5", "frame_size 5", "padding 1 2 3", "unknown 1 2", "", "\n\n\r\n", "type"}) {
        const ImageMetadata m = parsed(text);
        EXPECT_EQ(m.frameWidth, defaults.frameWidth) << text;
        EXPECT_EQ(m.padding[0], 0.0f) << text;
        EXPECT_EQ(m.type, defaults.type) << text;
    }
    // Later lines win; values may be separated by commas.
    EXPECT_EQ(parsed("frame_size 5 5\nframe_size 7,8").frameHeight, 8);
    EXPECT_EQ(parsed("type slider\ntype nonsense").type, ABT_SLIDER);
    // Huge numbers are clamped, not wrapped.
    EXPECT_EQ(parsed("frame_size 99999999999 -99999999999").frameWidth, 2147483647);
}

TEST(ImageMetadataText, MouseResponseLetters)
{
    const std::pair<const char*, int> cases[] = {
        {"orientation vertical", 0}, {"orientation horizontal", 1}, {"orientation Vertical", 0},
        {"tiled true", 0},           {"tiled false", 1},            {"mouse_response circular", 2},
        {"mouse_response rotary", 3}, {"mouse_response stepped", 4}, {"mouse_response reverse", 5},
        {"mouse_response REVERSE", 5}, {"mouse_response xyz", -1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parsed(text).mouseResponse, expected) << text;
}

TEST(ImageMetadataText, ReadsNothingPastTheGivenBytes)
{
    // The buffer ends without a terminator right after the last digit.
    const std::string text = "frame_size 12 34";
    std::vector<char> exact(text.begin(), text.end());
    ImageMetadata m;
    m.Parse(exact.data(), exact.size());
    EXPECT_EQ(m.frameHeight, 34);
    // Only the first bytes count.
    m = ImageMetadata();
    m.Parse(exact.data(), exact.size() - 1);
    EXPECT_EQ(m.frameHeight, 3);
    // A NUL byte ends its line's text; the next line still counts.
    const char withNul[] = "frame_size 1\0 2\nhandle_range 4 5";
    m = ImageMetadata();
    m.Parse(withNul, sizeof withNul - 1);
    EXPECT_EQ(m.frameWidth, 10);
    EXPECT_EQ(m.handleRangeEnd, 5);
    m.Parse(nullptr, 100);
}

TEST(FontFile, CategoriesAndCaseInsensitiveLookup)
{
    const SkinMetadata skin = skinOf(
        "font-size 40\n"  // before the first category: ignored
        "FONT_CATEGORY Title\n"
        "font-family Missing Verdana\n"
        "font-size 20\n"
        "FONT_CATEGORY normal\n"
        "GDI_pixelHeight 15\n"
        "legacy-vertical-offset 0\n");
    ASSERT_EQ(skin.fonts().size(), 2u);
    const FontMetadata* title = skin.getFont("TITLE");
    EXPECT_EQ(title->category, "title");
    EXPECT_EQ(title->families, (std::vector<std::string>{"Missing", "Verdana"}));
    EXPECT_EQ(title->size, 20);
    EXPECT_EQ(title->pixelHeight, 20);
    EXPECT_TRUE(title->legacyLayout);
    const FontMetadata* normal = skin.getFont("Normal");
    EXPECT_EQ(normal->families, (std::vector<std::string>{"Verdana"}));  // none given
    EXPECT_EQ(normal->size, 12);
    EXPECT_EQ(normal->pixelHeight, 15);
    EXPECT_FALSE(normal->legacyLayout);
    // Unknown categories and skins without a file give the built-in default.
    EXPECT_EQ(skin.getFont("heading")->category, "default");
    EXPECT_EQ(SkinMetadata().getFont("title")->families, (std::vector<std::string>{"Arial"}));
    EXPECT_EQ(SkinMetadata().getFont("title")->size, 12);
}

TEST(FontFile, ColoursAreOpaqueRgbBytes)
{
    const SkinMetadata skin = skinOf(
        "FONT_CATEGORY a\nfont-color #FF0000\nbackground-color 255\n"
        "FONT_CATEGORY b\nfont-color #12345678\n");
    const FontMetadata* a = skin.getFont("a");
    // Bytes R, G, B, A in memory.
    EXPECT_EQ(a->fontColor, 0xFF0000FFu);
    EXPECT_EQ(a->backgroundColor, 0xFFFF0000u);  // decimal 255 is blue
    const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(&a->fontColor);
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 255);
    EXPECT_EQ(skin.getFont("b")->fontColor, 0xFF785634u);  // low 24 bits, alpha opaque
    EXPECT_EQ(SkinMetadata().getFont("x")->fontColor, 0xFFFFFFFFu);
}

TEST(FontFile, WeightStyleAndAlignmentRules)
{
    const auto flagsOf = [](const std::string& lines) {
        return skinOf("FONT_CATEGORY x\n" + lines).getFont("x")->styleFlags;
    };
    EXPECT_EQ(flagsOf("font-weight 600"), FontMetadata::Bold);
    EXPECT_EQ(flagsOf("font-weight 300"), FontMetadata::Light);
    EXPECT_EQ(flagsOf("font-weight 301"), 0);
    EXPECT_EQ(flagsOf("font-weight 550"), 0);
    EXPECT_EQ(flagsOf("font-weight 551"), FontMetadata::Bold);
    EXPECT_EQ(flagsOf("font-weight 400"), 0);
    EXPECT_EQ(flagsOf("font-weight 0"), 0);
    EXPECT_EQ(flagsOf("font-weight Bold"), FontMetadata::Bold);
    EXPECT_EQ(flagsOf("font-weight light"), FontMetadata::Light);
    EXPECT_EQ(flagsOf("font-style Italic"), FontMetadata::Italic);
    EXPECT_EQ(flagsOf("text-align right"), FontMetadata::AlignRight);
    EXPECT_EQ(flagsOf("text-align Center"), FontMetadata::AlignCenter);
    EXPECT_EQ(flagsOf("text-align left"), 0);
    EXPECT_EQ(flagsOf("text-decoration underline"), FontMetadata::Underline);

    const SkinMetadata boldSkin = skinOf("FONT_CATEGORY x\nfont-weight bold");
    EXPECT_EQ(boldSkin.getFont("x")->weight(), 700);
    EXPECT_EQ(skinOf("FONT_CATEGORY x\nfont-weight 200").getFont("x")->weight(), 300);
    EXPECT_EQ(skinOf("FONT_CATEGORY x\ntext-align c").getFont("x")->textAlignment(), 2);
}

TEST(FontFile, LegacyVerticalOffset)
{
    FontMetadata font;
    font.families = {"Arial"};
    font.vst3VerticalOffset = 3;
    font.pixelHeight = 20;
    EXPECT_EQ(font.getLegacyVerticalOffset(), 2);
    font.pixelHeight = 19;
    EXPECT_EQ(font.getLegacyVerticalOffset(), 3);
    font.families = {"MS Sans Serif"};
    font.pixelHeight = 14;
    EXPECT_EQ(font.getLegacyVerticalOffset(), 1);
    font.families = {"Verdana"};
    EXPECT_EQ(font.getLegacyVerticalOffset(), 3);
    font.families.clear();
    EXPECT_EQ(font.getLegacyVerticalOffset(), 3);
}

TEST(ImageMask, PremultipliesInBothPixelFormats)
{
    // Two pixels B, G, R, A: white and a mid grey, opaque. Mask bytes: 0 keeps a pixel,
    // 255 clears it, 128 leaves alpha 127.
    const std::uint8_t image[8] = {255, 255, 255, 255, 128, 128, 128, 255};
    const std::uint8_t mask[8] = {128, 128, 128, 255, 0, 0, 0, 255};

    std::uint8_t bytes[8];
    std::memcpy(bytes, image, 8);
    ApplyImageMask(bytes, 8, mask, 8, 2, 1, GmpiDrawing_API::MP1_PIXEL_FORMAT_BGRA_LINEAR);
    EXPECT_EQ(bytes[3], 127);
    EXPECT_EQ(bytes[0], 127);  // 255 x 127 / 255
    EXPECT_EQ(bytes[7], 255);
    EXPECT_EQ(bytes[4], 128);

    std::memcpy(bytes, image, 8);
    ApplyImageMask(bytes, 8, mask, 8, 2, 1, GmpiDrawing_API::MP1_PIXEL_FORMAT_BGRA_SRGB);
    EXPECT_EQ(bytes[3], 127);
    // In linear light half of white is sRGB byte 187 or so, not 127.
    const auto& toLinear = se_sdk::gammaLookupTables();
    EXPECT_NEAR(toLinear[bytes[0]], 127.0f / 255.0f, 0.005f);
    EXPECT_GT(bytes[0], 180);
    EXPECT_EQ(bytes[4], 128);  // an unmasked pixel keeps its bytes

    // A mask with another stride (padding bytes) is read row by row.
    std::uint8_t twoRows[8] = {10, 20, 30, 255, 40, 50, 60, 255};
    const std::uint8_t paddedMask[16] = {255, 0, 0, 0, 9, 9, 9, 9, 0, 0, 0, 0, 9, 9, 9, 9};
    ApplyImageMask(twoRows, 4, paddedMask, 8, 1, 2, GmpiDrawing_API::MP1_PIXEL_FORMAT_BGRA_LINEAR);
    EXPECT_EQ(twoRows[3], 0);
    EXPECT_EQ(twoRows[0], 0);
    EXPECT_EQ(twoRows[7], 255);
    EXPECT_EQ(twoRows[4], 40);
}

TEST(ImageMask, NearestSrgbByteAndFileNames)
{
    const auto& toLinear = se_sdk::gammaLookupTables();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(LinearToSrgbByte(toLinear[static_cast<std::size_t>(i)]), i);
    EXPECT_EQ(LinearToSrgbByte(-1.0f), 0);
    EXPECT_EQ(LinearToSrgbByte(2.0f), 255);

    EXPECT_EQ(ImageMaskName("/skin/knob.bmp"), "/skin/knob_mask.bmp");
    EXPECT_EQ(ImageMaskName("/sk.in/knob"), "/sk.in/knob_mask.bmp");
    EXPECT_EQ(ImageMaskName("c:\\sk.in\\knob"), "c:\\sk.in\\knob_mask.bmp");
    EXPECT_EQ(ImageMetadataName("/skin/knob.v2.png"), "/skin/knob.v2.txt");
}
