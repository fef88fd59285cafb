// Unit converters, note and pitch, number text and colour text.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "gui_test_support.h"

using namespace gui_testing;

TEST(LevelConverter, VoltsAndDecibelsIncludingSilence)
{
    auto module = makeUi("KV_V2dB");
    EXPECT_EQ(floatOf(module->value("dB")), 0.0f);  // the default 10 V
    module->setPin("V", 5.0f);
    EXPECT_NEAR(floatOf(module->value("dB")), -6.0206f, 1e-4);
    module->setPin("V", 0.0f);
    EXPECT_EQ(floatOf(module->value("dB")), -std::numeric_limits<float>::infinity());
    module->takeTransmissions();
    module->setPin("dB", -std::numeric_limits<float>::infinity());
    EXPECT_EQ(floatOf(module->value("V")), 0.0f);
    EXPECT_TRUE(module->takeTransmissions().empty());  // V already 0: no echo

    auto reversed = makeUi("KV_dB2V");
    EXPECT_EQ(reversed->pin("dB").index, 0);
    reversed->setPin("dB", -20.0f);
    EXPECT_NEAR(floatOf(reversed->value("V")), 1.0f, 1e-6);
}

TEST(PitchConverter, OctavesAndHertz)
{
    auto module = makeUi("KV_Oct2Hz");
    module->setPin("Oct", 4.0f);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Hz", 220.0f}}));
    module->setPin("Hz", 880.0f);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Oct", 6.0f}}));

    auto reversed = makeUi("KV_Hz2Oct");
    reversed->setPin("Hz", 110.0f);
    EXPECT_EQ(sent(*reversed), (std::vector<Sent>{{"Oct", 3.0f}}));
}

TEST(Note2Pitch, MidiKeyOctaveAndPitchStayInStep)
{
    auto module = makeUi("KV_Note2Pitch", {}, false);
    module->initialize();
    EXPECT_EQ(textOf(module->value("KeyList")), L"A,A#,B,C,C#,D,D#,E,F,F#,G,G#");
    EXPECT_EQ(textOf(module->value("OctaveList")), L"range 0,9");

    module->setPin("Midi", 69);
    EXPECT_EQ(intOf(module->value("Key")), 0);
    EXPECT_EQ(intOf(module->value("Octave")), 5);
    EXPECT_EQ(floatOf(module->value("Pitch")), 5.0f);

    module->setPin("Key", 3);
    module->setPin("Octave", 4);
    EXPECT_EQ(floatOf(module->value("Pitch")), 4.25f);
    EXPECT_EQ(intOf(module->value("Midi")), 60);

    module->setPin("Pitch", 6.5f);
    EXPECT_EQ(intOf(module->value("Key")), 6);
    EXPECT_EQ(intOf(module->value("Octave")), 6);
    EXPECT_EQ(intOf(module->value("Midi")), 87);

    module->setPin("Pitch", std::numeric_limits<float>::quiet_NaN());  // must not crash
    module->setPin("Midi", INT32_MIN);
}

TEST(Note2Pitch, HostEchoesDuringAKeyChangeDoNotRecomputeTheKey)
{
    auto module = makeUi("KV_Note2Pitch");
    // A host that hands every transmitted value straight back to the module.
    module->onTransmit([&](const mphost::PinTransmission& transmission) {
        module->setPinRaw(transmission.pinIndex, transmission.raw);
    });
    module->setPin("Octave", 4);
    module->setPin("Key", 11);  // G#4: pitch 4.9166..., MIDI 68
    EXPECT_EQ(intOf(module->value("Key")), 11);
    EXPECT_EQ(intOf(module->value("Midi")), 68);
}

TEST(IntText, ClampsShowsAndParses)
{
    auto module = makeUi("KV_Int2TxtC");
    module->setPin("Max", 10);
    module->setPin("Val", 12);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Txt", std::wstring(L"10")}}));

    module->setPin("Txt", std::wstring(L"15"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 10}, {"Txt", std::wstring(L"10")}}));
    module->setPin("Txt", std::wstring(L" 7"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 7}}));  // the text stays as typed
    module->setPin("Txt", std::wstring(L"-99999999999999"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 0}, {"Txt", std::wstring(L"0")}}));

    // Text without a number changes nothing and shows the current value again.
    module->setPin("Txt", std::wstring(L"seven"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Txt", std::wstring(L"0")}}));
    module->setPin("Txt", std::wstring(L""));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Txt", std::wstring(L"0")}}));
}

TEST(FloatText, FormatsWithDecimalsAndParses)
{
    auto module = makeUi("KV_Float2TxtC");
    module->setPin("Max", 10000.0f);
    module->setPin("Val", 3.14159f);
    EXPECT_EQ(textOf(module->value("Txt")), L"3.14");
    module->setPin("Val", 1234.5678f);
    EXPECT_EQ(textOf(module->value("Txt")), L"1.23e+03");
    module->setPin("Decimals", 0);
    EXPECT_EQ(textOf(module->value("Txt")), L"1e+03");
    module->setPin("Decimals", 1000000);  // limited, never a huge text
    EXPECT_LE(textOf(module->value("Txt")).size(), 30u);
    module->setPin("Decimals", 2);
    module->takeTransmissions();

    module->setPin("Txt", std::wstring(L"2.5abc"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 2.5f}}));
    module->setPin("Txt", std::wstring(L"-1"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 0.0f}, {"Txt", std::wstring(L"0")}}));
    module->setPin("Txt", std::wstring(L"1e999"));  // overflow: beyond Max
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Val", 10000.0f}, {"Txt", std::wstring(L"1e+04")}}));
    for (const wchar_t* garbage : {L"abc", L"nan", L"."}) {
        module->setPin("Txt", std::wstring(garbage));
        EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Txt", std::wstring(L"1e+04")}})) << garbage;
    }
}

TEST(ColourText, ComponentsAndHexadecimalBothWays)
{
    auto module = makeUi("ARGB2Str");
    module->setPin("A", 1.0f);
    module->setPin("R", 0.5f);
    module->setPin("G", 0.0f);
    module->setPin("B", 1.0f);
    EXPECT_EQ(textOf(module->value("String")), L"ff7f00ff");
    module->setPin("R", 7.0f);  // clamped
    EXPECT_EQ(textOf(module->value("String")), L"ffff00ff");
    module->setPin("R", std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(textOf(module->value("String")), L"ff0000ff");

    module->setPin("String", std::wstring(L"80ff0000"));
    EXPECT_NEAR(floatOf(module->value("A")), 0.502f, 1e-3);
    EXPECT_EQ(floatOf(module->value("R")), 1.0f);
    EXPECT_EQ(floatOf(module->value("G")), 0.0f);
    EXPECT_EQ(floatOf(module->value("B")), 0.0f);
}
