// Text utilities and enumeration lists.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "it_enum_list.h"
#include "text_utilities.h"

namespace {

std::vector<std::string> split(const char* text)
{
    std::vector<std::string> tokens;
    SplitString(text, tokens);
    return tokens;
}

struct Entry {
    int index;
    std::wstring text;
    int value;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entries(const std::wstring& list)
{
    std::vector<Entry> result;
    it_enum_list it(list);
    for (it.First(); !it.IsDone(); it.Next())
        result.push_back({it.CurrentItem()->index, it.CurrentItem()->text, it.CurrentItem()->value});
    return result;
}

}  // namespace

TEST(SplitString, SeparatorsQuotesAndEmptyTokens)
{
    using Tokens = std::vector<std::string>;
    for (const char* text : {"a b", "a,b", "a , b", "a, b", "  a   b  "})
        EXPECT_EQ(split(text), (Tokens{"a", "b"})) << text;
    EXPECT_EQ(split("frame_size 50 50"), (Tokens{"frame_size", "50", "50"}));
    EXPECT_EQ(split("a,,b"), (Tokens{"a", "", "b"}));
    EXPECT_EQ(split("x 'two words'"), (Tokens{"x", "two words"}));
    EXPECT_EQ(split("x \"a, 'b'\" y"), (Tokens{"x", "a, 'b'", "y"}));
    EXPECT_EQ(split("'unterminated"), (Tokens{"unterminated"}));
    EXPECT_EQ(split("a\"b c\""), (Tokens{"a", "b c"}));
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split("   ").empty());
    EXPECT_TRUE(split(nullptr).empty());
}

TEST(FileNameText, PathFolderAndExtension)
{
    EXPECT_EQ(StripPath("D:\\dir\\file.wav"), "file.wav");
    EXPECT_EQ(StripPath("dir/file"), "file");
    EXPECT_EQ(StripPath("file"), "file");
    EXPECT_EQ(StripPath("a\\b/c"), "b/c");  // a backslash wins over later slashes
    EXPECT_EQ(StripFilename_implementation("D:\\dir\\file.wav"), "D:\\dir");
    EXPECT_EQ(StripFilename_implementation("file"), "file");
    EXPECT_EQ(GetExtension("a.b/c"), "");
    EXPECT_EQ(GetExtension("c.tar.gz"), "gz");
    EXPECT_EQ(GetExtension("dir\\x.WAV"), "WAV");
    EXPECT_EQ(GetExtension("noext"), "");
}

TEST(StringToInt, ReadsTheLeadingNumberAndClamps)
{
    EXPECT_EQ(StringToInt("  -42abc"), -42);
    EXPECT_EQ(StringToInt("abc"), 0);
    EXPECT_EQ(StringToInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(it_enum_list::StringToInt(L"ff", 16), 255);
    EXPECT_EQ(it_enum_list::StringToInt(L"12", 99), 0);  // an invalid base reads nothing
}

TEST(EnumList, ListFormWithExplicitAndFollowingValues)
{
    EXPECT_EQ(entries(L"Off,Low=10,High"),
              (std::vector<Entry>{{0, L"Off", 0}, {1, L"Low", 10}, {2, L"High", 11}}));
    EXPECT_EQ(entries(L""), std::vector<Entry>{});
    EXPECT_EQ(entries(L"a,"), (std::vector<Entry>{{0, L"a", 0}, {1, L"", 1}}));
    EXPECT_EQ(it_enum_list(L"Off,Low=10,High").size(), 3);
    EXPECT_EQ(it_enum_list(L"").size(), 0);
    EXPECT_EQ(entries(L"x=2147483647,y"), (std::vector<Entry>{{0, L"x", INT_MAX}, {1, L"y", INT_MAX}}));
}

TEST(EnumList, RangeForm)
{
    const auto range = entries(L"range 0,9");
    ASSERT_EQ(range.size(), 10u);
    EXPECT_EQ(range.front(), (Entry{0, L"0", 0}));
    EXPECT_EQ(range.back(), (Entry{9, L"9", 9}));
    EXPECT_EQ(it_enum_list(L"range 0,9").size(), 10);
    EXPECT_EQ(entries(L"range 2,-1"), (std::vector<Entry>{{0, L"2", 2}, {1, L"1", 1}, {2, L"0", 0}, {3, L"-1", -1}}));
    EXPECT_EQ(it_enum_list(L"range -2147483648,2147483647").size(), INT_MAX);  // clamped
    it_enum_list huge(L"range -2000000000,100000000");
    EXPECT_TRUE(huge.FindValue(5));  // found without walking two billion entries
    EXPECT_EQ(huge.CurrentItem()->text, L"5");
    EXPECT_FALSE(it_enum_list::IsValidValue(L"range 0,9", 10));
}

TEST(EnumList, FindingValuesSkipsMenuMarks)
{
    it_enum_list list(L"A,----,B=5");
    EXPECT_TRUE(list.FindValue(5));
    EXPECT_EQ(list.CurrentItem()->text, L"B");
    EXPECT_FALSE(list.FindValue(1));  // the separator's value does not count
    EXPECT_TRUE(list.FindIndex(2));
    EXPECT_FALSE(list.FindIndex(1));
    EXPECT_EQ(it_enum_list::ForceValidValue(L"X,Y,Z", 7), 0);
    EXPECT_EQ(it_enum_list::ForceValidValue(L"X=4,Y", 5), 5);
    EXPECT_EQ(it_enum_list::ForceValidValue(L"", 5), 0);

    const std::pair<const wchar_t*, int> marks[] = {
        {L"----", 1}, {L"||||x", 2}, {L">>>>", 3}, {L"<<<<", 4}, {L"---", 0}, {L"====", 0}};
    for (const auto& [text, type] : marks)
        EXPECT_EQ((enum_entry{0, 0, text}).getType(), type) << text;
}
