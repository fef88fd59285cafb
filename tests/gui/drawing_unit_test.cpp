// The framework's drawing helpers tested directly: the shared sRGB tables, colour texts
// and the reference counting of the wrappers.
#include <gtest/gtest.h>

#include <cmath>

#include "Drawing.h"

using GmpiDrawing::Color;
using GmpiDrawing::hexStringToColor;

TEST(GammaTables, EndPointsAndKnownValues)
{
    const auto& tables = se_sdk::gammaLookupTables();
    for (int table = 0; table < 4; ++table)
        EXPECT_EQ(tables[table * 256], 0.0f) << table;
    EXPECT_NEAR(tables[128], 0.2158f, 0.0001f);
    EXPECT_FLOAT_EQ(tables[255], 1.0f);
    EXPECT_FLOAT_EQ(tables[256 + 255], 1.0f);
    EXPECT_NEAR(tables[256 + 128], std::pow(128 / 255.0, 2.2), 1e-6);
    // Half a step below byte 128, so between the first table's 127 and 128.
    EXPECT_GT(tables[512 + 128], tables[127]);
    EXPECT_LT(tables[512 + 128], tables[128]);
    // x ^ 2.2 then back to sRGB stays close to x.
    EXPECT_NEAR(tables[768 + 128], 128 / 255.0, 0.01);
    EXPECT_NEAR(tables[768 + 255], 1.0, 1e-6);
    for (int i = 1; i < 256; ++i)
        ASSERT_LT(tables[i - 1], tables[i]) << "the sRGB table must rise strictly for its binary search";
}

TEST(ColourText, ArgbHexadecimal)
{
    const Color blue = hexStringToColor(L"FF0000FF");
    EXPECT_EQ(blue, Color(0.0f, 0.0f, 1.0f, 1.0f));

    // Alpha is the top byte: both of these are red, fully transparent.
    EXPECT_EQ(hexStringToColor(L"00FF0000"), Color(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(hexStringToColor(L"FF0000"), Color(1.0f, 0.0f, 0.0f, 0.0f));

    // White space and a 0x prefix are accepted; reading stops at the first non-digit.
    EXPECT_EQ(hexStringToColor(L"  0xff808080"), Color::FromBytes(128, 128, 128, 255));
    EXPECT_EQ(hexStringToColor(L"FF00FF00zz"), Color(0.0f, 1.0f, 0.0f, 1.0f));

    // No digits: transparent black.
    EXPECT_EQ(hexStringToColor(L""), Color(0.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(hexStringToColor(L"green"), Color(0.0f, 0.0f, 0.0f, 0.0f));
    // Alpha stays linear.
    EXPECT_FLOAT_EQ(hexStringToColor(L"80000000").a, 128 / 255.0f);
}

namespace {

// Counts references like a host object.
struct CountedFactory : GmpiDrawing_API::IMpFactory {
    int count = 1;
    std::int32_t queryInterface(const gmpi::MpGuid&, void** returned) override
    {
        *returned = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    std::int32_t addRef() override { return ++count; }
    std::int32_t release() override { return --count; }
    std::int32_t CreatePathGeometry(GmpiDrawing_API::IMpPathGeometry** geometry) override
    {
        *geometry = nullptr;
        return gmpi::MP_FAIL;
    }
    std::int32_t CreateTextFormat(const char*, void*, std::int32_t, std::int32_t, std::int32_t, float, void*,
                                  GmpiDrawing_API::IMpTextFormat** format) override
    {
        *format = nullptr;
        return gmpi::MP_FAIL;
    }
    std::int32_t CreateImage(std::int32_t, std::int32_t, GmpiDrawing_API::IMpBitmap** bitmap) override
    {
        *bitmap = nullptr;
        return gmpi::MP_FAIL;
    }
    std::int32_t LoadImageU(const char*, GmpiDrawing_API::IMpBitmap** bitmap) override
    {
        *bitmap = nullptr;
        return gmpi::MP_FAIL;
    }
};

}  // namespace

TEST(DrawingWrappers, HoldOneReferenceEachAndDegradeWhenNull)
{
    CountedFactory host;
    {
        GmpiDrawing::Factory factory(&host);  // takes over the initial reference
        host.count = 1;
        {
            GmpiDrawing::Factory copy = factory;
            EXPECT_EQ(host.count, 2);
            GmpiDrawing::Factory moved = std::move(copy);
            EXPECT_EQ(host.count, 2);
        }
        EXPECT_EQ(host.count, 1);
        // Failed creations give null wrappers, and null wrappers draw nothing.
        EXPECT_TRUE(factory.CreatePathGeometry().isNull());
        std::string name;
        EXPECT_FALSE(factory.GetFontFamilyName(0, name));
        host.addRef();  // the wrapper below releases one
    }
    EXPECT_EQ(host.count, 1);

    GmpiDrawing::Graphics nothing;
    nothing.FillRectangle(GmpiDrawing::Rect(0, 0, 10, 10), nothing.CreateSolidColorBrush(Color(1, 0, 0)));
    EXPECT_TRUE(nothing.GetFactory().isNull());
}
