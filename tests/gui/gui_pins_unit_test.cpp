// GUI pins, the pin owner and the returned-text object, tested directly.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "mp_sdk_gui.h"

namespace {

// A module whose transmissions are recorded instead of sent to a host.
class RecordingModule : public SeGuiInvisibleBase {
public:
    std::int32_t pinTransmit(std::int32_t pinId, std::int32_t size, const void*, std::int32_t) override
    {
        transmitted.push_back({pinId, size});
        return gmpi::MP_OK;
    }
    void onSet() { ++handlerCalls; }

    MpGuiPin<int> pinInt;
    MpGuiPin<bool> pinBool;
    std::vector<std::pair<int, int>> transmitted;  // (pin, size)
    int handlerCalls = 0;
};

}  // namespace

TEST(GuiPins, BoolTakesOneByteOrAFourByteWordWhichAlwaysCountsAsAChange)
{
    MpGuiPin<bool> pin;
    const std::int32_t one = 1, zero = 0;
    const char byteOne = 1;
    EXPECT_TRUE(pin.set(0, 4, &one));
    EXPECT_TRUE(pin.set(0, 4, &one));  // same value, still "changed"
    EXPECT_TRUE(pin.getValue());
    EXPECT_FALSE(pin.set(0, 1, &byteOne));
    EXPECT_TRUE(pin.set(0, 4, &zero));
    EXPECT_FALSE(pin.getValue());
    EXPECT_TRUE(pin.set(0, 0, nullptr));  // an empty payload is false
    EXPECT_EQ(pin.rawSize(), 1);
}

TEST(GuiPins, NumbersCompareFourBytesBitwise)
{
    MpGuiPin<float> number;
    const float zero = 0.0f, minusZero = -0.0f;
    EXPECT_FALSE(number.set(0, 4, &zero));
    EXPECT_TRUE(number.set(0, 4, &minusZero));
    MpGuiPin<int> integer;
    const std::int32_t value = 0x01020304;
    EXPECT_TRUE(integer.set(0, 2, &value));  // a short payload replaces the low bytes
    EXPECT_EQ(integer.getValue(), 0x0304);
    EXPECT_TRUE(integer.set(0, 8, &value));  // a long one counts as changed, 4 bytes taken
    EXPECT_EQ(integer.getValue(), value);
    EXPECT_TRUE(integer.set(0, -5, &value));  // negative size: empty payload
}

TEST(GuiPins, TextTakesWholeCharactersAndBlobsCompareBytes)
{
    MpGuiPin<std::wstring> text;
    const wchar_t characters[2] = {L'x', L'y'};
    EXPECT_TRUE(text.set(0, 6, characters));
    EXPECT_EQ(text.getValue(), L"x");
    EXPECT_FALSE(text.set(0, 4, characters));
    EXPECT_TRUE(text.set(0, 0, nullptr));
    EXPECT_EQ(text.getValue(), L"");

    MpGuiPin<MpBlob> blob;
    const char bytes[3] = {1, 2, 3};
    EXPECT_TRUE(blob.set(0, 3, bytes));
    EXPECT_FALSE(blob.set(0, 3, bytes));
    EXPECT_TRUE(blob.set(0, 2, bytes));
    EXPECT_EQ(blob.getValue().getSize(), 2);
}

TEST(GuiPins, AssignmentTransmitsChangesOnlyAndNeverRunsTheOwnHandler)
{
    auto* module = new RecordingModule;
    module->initializePin(module->pinInt, &RecordingModule::onSet);
    module->initializePin(module->pinBool);
    module->pinInt = 5;
    module->pinInt = 5;
    module->pinBool = true;
    EXPECT_EQ(module->transmitted, (std::vector<std::pair<int, int>>{{0, 4}, {1, 1}}));
    EXPECT_EQ(module->handlerCalls, 0);
    module->release();
}

TEST(GuiPins, SetPin2RunsTheHandlerOnlyOnAChange)
{
    auto* module = new RecordingModule;
    module->initializePin(module->pinInt, &RecordingModule::onSet);
    const std::int32_t value = 3;
    EXPECT_EQ(module->setPin2(0, 0, 4, &value), gmpi::MP_OK);
    EXPECT_EQ(module->setPin2(0, 0, 4, &value), gmpi::MP_OK);
    EXPECT_EQ(module->handlerCalls, 1);
    EXPECT_EQ(module->setPin2(9, 0, 4, &value), gmpi::MP_FAIL);
    EXPECT_EQ(module->getPin(9), nullptr);
    EXPECT_EQ(module->getPin(0), &module->pinInt);
    module->release();
}

TEST(GuiPins, StringPinConvertsMalformedUtfEightWithoutThrowing)
{
    auto* module = new RecordingModule;
    StringGuiPin text;  // unbound: assignments only store
    text = std::string("a\xff\xc3");
    EXPECT_EQ(text.getValue(), L"a\uFFFD\uFFFD");
    text = std::string("\xc3\xa9");
    EXPECT_EQ(static_cast<std::string>(text), "\xc3\xa9");
    module->release();
}

TEST(MpString, StoresBytesAndEmptiesOnANonPositiveSize)
{
    gmpi_sdk::MpString text;
    text.setData("abc", 2);
    EXPECT_EQ(text.getSize(), 2);
    EXPECT_STREQ(text.getData(), "ab");
    text.setData("abc", -1);
    EXPECT_EQ(text.getSize(), 0);
    void* returned = nullptr;
    EXPECT_EQ(text.queryInterface(gmpi::MP_IID_RETURNSTRING, &returned), gmpi::MP_OK);
    EXPECT_EQ(returned, static_cast<gmpi::IString*>(&text));
    EXPECT_EQ(text.queryInterface(gmpi::MP_IID_UI_HOST, &returned), gmpi::MP_NOSUPPORT);
}
