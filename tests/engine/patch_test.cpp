// Patch files: what a valid patch means, and that every fault is refused with the file,
// the JSON path and what was expected.
#include <fstream>

#include <gtest/gtest.h>

#include "common/host_error.h"
#include "engine_test_support.h"
#include "mp_api.h"

using engine_testing::patch;
using engine_testing::patchError;

namespace {

// One valid patch with one fault swapped in for `marker`.
std::string withModules(const std::string& modules, const std::string& rest = "")
{
    return R"json({ "seconds": 0.1, "modules": [ )json" + modules + " ]" + rest + " }";
}

const std::string gain = R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain" })json";
const std::string osc = R"json({ "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc" })json";

}  // namespace

TEST(PatchFormat, ReadsEveryFeature)
{
    const mphost::Patch p = patch(R"json({
      "sampleRate": 44100, "blockSize": 32, "seconds": 2,
      "modules": [
        { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc",
          "values": { "Pitch": 0.25, "FreqMode": "Hz", "Shape": "(-5,0)(5,0)" } },
        { "name": "mm", "bundle": "dsp_modules", "id": "MinMaxIndex", "duplicates": { "In": 3 } },
        { "name": "trig", "bundle": "ui_modules", "id": "GUISet2Trig", "rect": [10, 20, 100, 50] }
      ],
      "connections": [ "osc.Out -> mm.In[2]", "trig.gui.Toggle -> trig.Trig" ],
      "outputs": [ "mm.Max" ],
      "script": [
        { "time": 1.5, "set": "osc.Shape", "value": "(-5,5)(5,-5)" },
        { "time": 0.5, "set": "trig.In Float", "value": 2 },
        { "time": 1.0, "drag": "trig", "from": [0, 0], "to": [10, 0], "duration": 0.1, "steps": 2 }
      ],
      "snapshots": [ { "time": 2, "file": "end.png" }, { "time": 1, "file": "middle.png" } ]
    })json");
    EXPECT_EQ(p.sampleRate, 44100.0f);
    EXPECT_EQ(p.blockSize, 32);
    EXPECT_EQ(p.lengthInSamples(), 88200);
    ASSERT_EQ(p.modules.size(), 3u);
    for (const auto& [pin, value] : p.modules[0].values)
        if (pin.pin == "FreqMode") {
            EXPECT_EQ(std::get<std::int32_t>(value), 0);  // "Hz" is choice 0
        }
    EXPECT_EQ(p.modules[1].duplicates.at("In"), 3);
    EXPECT_EQ(p.modules[2].rect->right, 110.0f);
    ASSERT_EQ(p.connections.size(), 2u);
    EXPECT_EQ(p.connections[0].to.pin, "In[2]");
    EXPECT_EQ(p.connections[1].from.half, mphost::Half::Gui);
    EXPECT_EQ(p.describe(p.connections[1].from), "trig.gui.Toggle");
    // Script in time order; the drag is down, two moves and up.
    ASSERT_EQ(p.script.size(), 6u);
    EXPECT_EQ(p.script[0].sample, 22050);
    EXPECT_EQ(p.script[1].action, mphost::PointerAction::Down);
    EXPECT_EQ(p.script[2].sample, 44100 + 2205);
    EXPECT_EQ(p.script[3].point.x, 10.0f);
    EXPECT_EQ(p.script[4].action, mphost::PointerAction::Up);
    EXPECT_EQ(p.script[5].sample, 66150);
    EXPECT_EQ(p.snapshots[0].file, "middle.png");
}

TEST(PatchFormat, DefaultsAndTimingChanges)
{
    mphost::Patch p =
        patch(withModules(gain, R"json(, "script": [ { "time": 0.05, "set": "a.Gain", "value": 2 } ])json"));
    EXPECT_EQ(p.sampleRate, 48000.0f);
    EXPECT_EQ(p.blockSize, 64);
    EXPECT_EQ(p.script[0].sample, 2400);
    p.changeTiming(1.0, 96000.0f, 128);
    EXPECT_EQ(p.lengthInSamples(), 96000);
    EXPECT_EQ(p.script[0].sample, 4800);  // the same time at the new rate
    EXPECT_THROW(p.changeTiming(std::nullopt, std::nullopt, 0), mphost::HostError);
    EXPECT_THROW(p.changeTiming(std::nullopt, 44100.5f, std::nullopt), mphost::HostError);
}

TEST(PatchFormat, RefusesFaultsNamingFilePathAndExpectation)
{
    struct Case {
        std::string json;
        std::string expected;  // a part of the message
    };
    const Case cases[] = {
        {"{ nope", "test.json: not valid JSON"},
        {R"json({ "modules": [] })json", "test.json: $.modules: expected a non-empty array"},
        {withModules(gain, R"json(, "colour": 1)json"), "$.colour: expected one of the members"},
        {R"json({ "sampleRate": 10, "modules": [ )json" + gain + " ] }",
         "$.sampleRate: expected an integer from 1000 to 768000"},
        {R"json({ "blockSize": 1.5, "modules": [ )json" + gain + " ] }",
         "$.blockSize: expected an integer from 1 to 4096"},
        {withModules(R"json({ "name": "a", "bundle": "nowhere", "id": "X" })json"),
         "$.modules[0].bundle: expected the name of a bundle"},
        {withModules(R"json({ "name": "a", "bundle": "probe_modules", "id": "Nope" })json"),
         "$.modules[0].id: expected a module identifier of bundle \"probe_modules\""},
        {withModules(gain + "," + gain), "$.modules[1].name: expected a module name not used before"},
        {withModules(R"json({ "name": "a.b", "bundle": "probe_modules", "id": "Probe_Gain" })json"), "without dots"},
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Gain": "loud" } })json"),
         "$.modules[0].values.Gain: expected a number in the float range, found string \"loud\""},
        // Beyond 64 signed bits: must not wrap into a small negative number.
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe", "values": { "Int": 18446744073709551615 } })json"),
         "$.modules[0].values.Int: expected a 32-bit integer, found number 18446744073709551615"},
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Volume": 1 } })json"),
         "$.modules[0].values.Volume: expected a pin of \"a\" (Probe_Gain; DSP pins: In, Gain, Out)"},
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Out": 1 } })json"),
         "expected the name of an input pin"},
        {withModules(
             R"json({ "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": { "FreqMode": "Mel" } })json"),
         "expected one of the choices \"Hz,Volts\""},
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "rect": [0, 0, 10, 10] })json"),
         "$.modules[0].rect: expected no rectangle"},
        {withModules(
             R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "duplicates": { "In": 2 } })json"),
         "$.modules[0].duplicates.In: expected the name of an auto-duplicated pin"},
        {withModules(gain, R"json(, "connections": [ "a.Out => a.In" ])json"),
         "$.connections[0]: expected \"from.Pin -> to.Pin\""},
        {withModules(gain, R"json(, "connections": [ "a.In -> a.Out" ])json"),
         "$.connections[0]: expected a DSP output on the left"},
        {withModules(gain, R"json(, "connections": [ "b.Out -> a.In" ])json"),
         "expected the name of a module of this patch"},
        {withModules(gain + "," + osc, R"json(, "connections": [ "a.Out -> osc.Shape" ])json"),
         "expected pins of one datatype (audio to text)"},
        {withModules(gain, R"json(, "connections": [ "a.Out -> a.In", "a.Out -> a.In" ])json"),
         "$.connections[1]: expected a connection not made before"},
        {withModules(gain, R"json(, "outputs": [ "a.Gain" ])json"),
         "$.outputs[0]: expected an audio output of a DSP module"},
        {withModules(gain, R"json(, "script": [ { "time": 1, "set": "a.Gain", "value": 1 } ])json"),
         "$.script[0].time: expected a number from 0 to 0.1"},
        {withModules(gain, R"json(, "script": [ { "time": 0, "set": "a.Out", "value": 1 } ])json"),
         "$.script[0].set: expected a DSP input or a GUI pin"},
        {withModules(
             gain,
             R"json(, "connections": [ "a.Out -> a.In" ], "script": [ { "time": 0, "set": "a.In", "value": 1 } ])json"),
         "$.script[0].set: expected an audio input that is not connected"},
        {withModules(gain, R"json(, "script": [ { "time": 0, "pointer": "down", "module": "a", "at": [1, 1] } ])json"),
         "$.script[0].module: expected a module with a GUI half"},
        {withModules(R"json({ "name": "g", "bundle": "probe_modules", "id": "Probe_Gui" })json",
                     R"json(, "script": [ { "time": 0, "pointer": "up", "module": "g", "at": [1, 1] } ])json"),
         "$.script[0].module: expected a module with a \"rect\" on the panel"},
        {withModules(gain, R"json(, "script": [ { "time": 0, "jump": "a" } ])json"),
         "$.script[0]: expected a \"set\", \"pointer\", \"drag\", \"context_menu\" or \"file_dialog\" event"},
        {withModules(gain, R"json(, "snapshots": [ { "time": 0 } ])json"), "$.snapshots[0]: expected member \"file\""},
        // Hostile shapes: keys given twice, values out of their list, nesting, sizes.
        {withModules(gain, R"json(, "seconds": 0.2)json"), "$.seconds: member given twice in one object"},
        {withModules(R"json({ "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "name": "b" })json"),
         "$.modules[0].name: member given twice"},
        {withModules(
             R"json({ "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": { "FreqMode": 2 } })json"),
         "$.modules[0].values.FreqMode: expected a value of the choices \"Hz,Volts\", found number 2"},
        {withModules(gain, R"json(, "snapshots": [ { "time": 0, "file": "x.png" } ])json"),
         "$.snapshots: expected a GUI module with a \"rect\""},
        {withModules(gain, ", \"outputs\": [" + std::string(300, '[') + std::string(300, ']') + "]"),
         "$.outputs[0][0][0]"},
        {withModules(gain, ", \"outputs\": [" + std::string(300, '[') + std::string(300, ']') + "]"),
         "nested deeper than 256 levels"},
        {withModules(gain, R"json(, "outputs": [ [1, 2, 3] ])json"), "expected a string, found array of 3 elements"},
    };
    for (const Case& c : cases) {
        const std::string message = patchError(c.json);
        EXPECT_NE(message.find(c.expected), std::string::npos) << "patch: " << c.json << "\nmessage: " << message;
        EXPECT_EQ(message.rfind("test.json: ", 0), 0u) << message;
    }
}

TEST(PatchFormat, ManyOutputsUpToTheChannelsOfAWavFile)
{
    const auto outputs = [](int count) {
        std::string list;
        for (int i = 0; i < count; ++i)
            list += std::string(i ? ", " : "") + "\"a.Out\"";
        return withModules(gain, ", \"outputs\": [" + list + "]");
    };
    EXPECT_EQ(patch(outputs(1024)).outputs.size(), 1024u);
    EXPECT_NE(patchError(outputs(1025)).find("$.outputs: expected at most 1024 outputs"), std::string::npos);
}

TEST(PatchFormat, LoadsFromFileWithBundlePathsRelativeToThePatch)
{
    const auto folder = std::filesystem::temp_directory_path() / "engine_patch_test";
    std::filesystem::create_directories(folder);
    const auto bundle =
        std::filesystem::relative(std::filesystem::path(MP_TEST_BUNDLE_DIR) / "probe_modules.so", folder);
    const auto file = folder / "p.json";
    std::ofstream(file) << R"json({ "modules": [ { "name": "a", "bundle": ")json" << bundle.string()
                        << R"json(", "id": "Probe_Gain" } ] })json";
    const mphost::Patch p = mphost::loadPatch(file, {});
    EXPECT_EQ(p.modules[0].description->id, "Probe_Gain");
    EXPECT_THROW(mphost::loadPatch(folder / "missing.json", {}), mphost::HostError);
    std::filesystem::remove_all(folder);
}
