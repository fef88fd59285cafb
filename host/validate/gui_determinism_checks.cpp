// Determinism and independence of GUI halves: instances driven with the same pin values,
// pointer events and timer ticks transmit the same pin values, send the same messages to
// their DSP half and draw the same pixels, whether alone, a second time, or interleaved
// operation by operation with another instance (state leaking through globals, shared
// caches or timers shows as a difference).
#include "validate/gui_stress.h"

namespace mphost::validation {

namespace {

// Every instance draws into a picture of this size (pixels), arranged at (0, 0).
constexpr int kPictureWidth = 96;
constexpr int kPictureHeight = 64;
constexpr std::int64_t kMillisecond = 1'000'000;  // nanoseconds

struct GuiOperation {
    enum class Kind { Pin, Tick, PointerDown, PointerMove, PointerUp, Render };
    Kind kind = Kind::Tick;
    std::int64_t nanoseconds = kMillisecond;  // virtual time that passes before it
    std::int32_t pin = 0;
    Bytes value;
    MP1_POINT point{};
    std::int32_t flags = 0;
    std::string text;  // as a failure names it
};

using GuiScript = std::vector<GuiOperation>;
// One line per operation (the first for start-up): what the instance sent and drew.
using GuiRecording = std::vector<std::string>;

std::string hashText(const std::uint8_t* bytes, std::size_t size)
{
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    char text[24];
    std::snprintf(text, sizeof text, "#%016llx", static_cast<unsigned long long>(hash));
    return text;
}

GuiOperation makeOperation(Random& random, const std::vector<GuiPin>& pins, bool graphical)
{
    GuiOperation operation;
    operation.kind = static_cast<GuiOperation::Kind>(uniformInt(random, 0, graphical ? 5 : 1));
    if (operation.kind == GuiOperation::Kind::Pin && pins.empty())
        operation.kind = GuiOperation::Kind::Tick;
    switch (operation.kind) {
    case GuiOperation::Kind::Pin: {
        const GuiPin& pin = pick(random, pins);
        const PinValue value = pin.datatype == gmpi::MP_MIDI ? PinValue{Bytes{}} : makeValue(random, pin.datatype, false);
        operation.pin = pin.index;
        operation.value = encodePinValue(value);
        operation.text = "pin \"" + pin.name + "\" = " + formatPinValue(value).substr(0, 40);
        break;
    }
    case GuiOperation::Kind::Tick:
        operation.nanoseconds = uniformInt(random, 1, 200) * kMillisecond;
        operation.text = "timers after " + std::to_string(operation.nanoseconds / kMillisecond) + " ms";
        break;
    case GuiOperation::Kind::Render: operation.text = "render"; break;
    default:
        operation.point = {uniformFloat(random, 0.0f, kPictureWidth), uniformFloat(random, 0.0f, kPictureHeight)};
        operation.flags = pick(random, std::vector<std::int32_t>{0, 0x10, 0x20000, 0x10 | 0x20000});
        operation.text = "pointer event at " + sizeText(operation.point.x, operation.point.y);
        break;
    }
    return operation;
}

GuiScript makeGuiScript(CheckContext& context, std::int64_t operations)
{
    const GuiModule model(context.bundle, context.module);
    GuiScript script;
    for (std::int64_t i = 0; i < operations; ++i)
        script.push_back(makeOperation(context.random, model.pins(), model.isGraphical()));
    return script;
}

// What `module` sent since the last call, and its picture when `render`.
std::string takeLine(GuiModule& module, bool render)
{
    std::string line;
    for (const PinTransmission& sent : module.takeTransmissions())
        line += "pin \"" + sent.pinName + "\" = " + formatPinValue(sent.value).substr(0, 40) +
                hashText(sent.raw.data(), sent.raw.size()) + "; ";
    for (const MessageToDsp& message : module.takeMessagesToDsp())
        line += "message " + std::to_string(message.id) + hashText(message.data.data(), message.data.size()) + "; ";
    if (render) {
        const DrawingSurface picture = module.renderAlone(kPictureWidth, kPictureHeight);
        std::vector<std::uint8_t> pixels;
        pixels.reserve(kPictureWidth * kPictureHeight * 4);
        for (int y = 0; y < kPictureHeight; ++y)
            for (int x = 0; x < kPictureWidth; ++x) {
                const Rgba pixel = picture.pixel(x, y);
                pixels.insert(pixels.end(), {pixel.r, pixel.g, pixel.b, pixel.a});
            }
        line += "picture " + hashText(pixels.data(), pixels.size());
    }
    return line;
}

void perform(GuiModule& module, const GuiOperation& operation)
{
    switch (operation.kind) {
    case GuiOperation::Kind::Pin: module.setPinRaw(operation.pin, operation.value); break;
    case GuiOperation::Kind::Tick: module.pump(); break;
    case GuiOperation::Kind::PointerDown: module.pointerDown(operation.flags, operation.point); break;
    case GuiOperation::Kind::PointerMove: module.pointerMove(operation.flags, operation.point); break;
    case GuiOperation::Kind::PointerUp: module.pointerUp(operation.flags, operation.point); break;
    case GuiOperation::Kind::Render: break;  // takeLine draws
    }
}

// `count` fresh instances started together and driven operation by operation, each
// operation given to every instance at the same virtual time.
std::vector<GuiRecording> play(CheckContext& context, const GuiScript& script, int count)
{
    std::vector<std::unique_ptr<GuiModule>> instances;
    std::vector<GuiRecording> recordings(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        instances.push_back(std::make_unique<GuiModule>(context.bundle, context.module));
    for (std::size_t i = 0; i < instances.size(); ++i) {
        instances[i]->start();
        recordings[i].push_back(takeLine(*instances[i], instances[i]->isGraphical()));
    }
    for (const GuiOperation& operation : script) {
        advanceVirtualTime(platform::monotonicNanoseconds() + operation.nanoseconds);
        for (std::size_t i = 0; i < instances.size(); ++i) {
            perform(*instances[i], operation);
            recordings[i].push_back(takeLine(*instances[i], operation.kind == GuiOperation::Kind::Render));
        }
    }
    context.report.blocks += static_cast<std::int64_t>(script.size()) * count;
    return recordings;
}

// Fails with `what` and the first operation whose line differs, when there is one.
bool same(CheckContext& context, const GuiRecording& reference, const GuiRecording& other, const GuiScript& script,
          const std::string& what)
{
    for (std::size_t i = 0; i < reference.size() && i < other.size(); ++i)
        if (reference[i] != other[i]) {
            context.fail(what + ": " + (i == 0 ? std::string("start-up") : "operation " + std::to_string(i) + " (" +
                                                                            script[i - 1].text + ")") +
                         " gave \"" + other[i] + "\" where one alone gave \"" + reference[i] + "\"");
            return false;
        }
    return true;
}

}  // namespace

void guiDeterminism(CheckContext& context)
{
    if (context.module.gui->differsByInstance)
        return context.note("each instance differs by design (differsByInstance): determinism not compared");
    const VirtualTimeScope virtualTime;
    const GuiScript script = makeGuiScript(context, std::clamp<std::int64_t>(context.blocks / 4, 16, 2000));
    const GuiRecording first = play(context, script, 1)[0];
    const std::vector<GuiRecording> pair = play(context, script, 2);
    if (!same(context, first, pair[0], script,
              "two instances driven alike, operation by operation, differ from one alone (state shared between "
              "instances?)") ||
        !same(context, first, pair[1], script,
              "the second of two instances driven alike differs from one alone (state shared between instances?)"))
        return;
    same(context, first, play(context, script, 1)[0], script,
         "a second run with the same pin values, pointer events and timer ticks differs from the first (state kept "
         "in globals, or output that depends on time or addresses?)");
}

}  // namespace mphost::validation
