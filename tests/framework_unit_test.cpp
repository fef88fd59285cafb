// Framework internals tested directly: the blob value type and the UTF-8 conversions.
#include <gtest/gtest.h>

#include "mp_sdk_common.h"
#include "unicode_conversion.h"

TEST(MpBlob, SameSizeReusesTheArrayAndANewSizeReallocates)
{
    MpBlob blob;
    const char first[4] = {1, 2, 3, 4}, second[4] = {5, 6, 7, 8}, longer[6] = {1, 2, 3, 4, 5, 6};
    blob.setValueRaw(4, first);
    const char* array = blob.getData();
    blob.setValueRaw(4, second);
    EXPECT_EQ(blob.getData(), array);
    EXPECT_TRUE(blob.compare(second, 4));
    blob.setValueRaw(6, longer);
    EXPECT_EQ(blob.getSize(), 6);
    EXPECT_TRUE(blob.compare(longer, 6));
}

TEST(MpBlob, ResizeShrinksInPlaceAndGrowsBackWithoutReallocating)
{
    MpBlob blob;
    blob.resize(100);
    char* array = blob.getData();
    ASSERT_NE(array, nullptr);
    blob.resize(10);
    EXPECT_EQ(blob.getSize(), 10);
    EXPECT_EQ(blob.getData(), array);
    blob.resize(100);
    EXPECT_EQ(blob.getData(), array);
    blob.resize(-3);  // a negative size is an empty blob, not a huge one
    EXPECT_EQ(blob.getSize(), 0);
}

TEST(MpBlob, EqualityIsBytewise)
{
    EXPECT_EQ(MpBlob(), MpBlob(0, nullptr));
    const char a[3] = {1, 2, 3}, b[3] = {1, 2, 4};
    EXPECT_NE(MpBlob(3, a), MpBlob(3, b));
    EXPECT_NE(MpBlob(3, a), MpBlob(2, a));
    MpBlob copy;
    copy = MpBlob(3, a);
    EXPECT_EQ(copy, MpBlob(3, a));
    EXPECT_FALSE(copy.compare(a, -1));
}

TEST(Utf8, RoundTripsEveryPlane)
{
    const std::wstring text = L"a\u00E9\u20AC\U0001F600\U0010FFFF";
    const std::string utf8 = WStringToUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Utf8ToWstring(utf8), text);
}

TEST(Utf8, IllFormedInputBecomesReplacementCharacters)
{
    // Lone continuation, overlong form, surrogate, truncated sequence, byte above F4.
    EXPECT_EQ(Utf8ToWstring("\x80"), L"\uFFFD");
    EXPECT_EQ(Utf8ToWstring("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWstring("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToWstring("x\xE2\x82"), L"x\uFFFD");
    EXPECT_EQ(Utf8ToWstring("\xE2\x82x"), L"\uFFFDx");
    EXPECT_EQ(Utf8ToWstring("\xF5\x80"), L"\uFFFD\uFFFD");
    // Wide characters that are no code points.
    std::wstring invalid;
    invalid += static_cast<wchar_t>(0xD800);
    invalid += static_cast<wchar_t>(0x110000);
    invalid += static_cast<wchar_t>(-1);
    EXPECT_EQ(WStringToUtf8(invalid), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}
