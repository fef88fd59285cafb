// RadioButtons: keeps a group of button pins and an integer Value in step, so that
// exactly one button (or, with AllowNone, at most one) is lit. The module does not draw;
// the buttons are float pins the host connects to whatever shows and presses them (1.0
// lit, 0.0 dark).
//
// Pins: 0 Value int, 1 AllowNone bool, then one float pin per button, as many as the
// host instantiates for this module (button i is pin 2 + i). Without AllowNone, Value is
// the lit button's number (0 to N - 1); with AllowNone, Value 0 lights none and Value k
// lights button k - 1. Values outside those ranges are ignored.
//
// Without AllowNone a lit button cannot be switched off by pressing it again: the
// release is undone at once by sending 1.0 back, and 10 ms later the whole group is sent
// again, for hosts that drop a value sent back while they deliver one.
//
// A first-generation GUI module (sub-type 1): the host connects itself from the
// factory's createInstance. All calls arrive on the user-interface thread.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "TimerManager.h"
#include "mp_sdk_gui.h"

namespace {

// The most button pins taken from the host's pin list; further pins are left unbound.
constexpr int maxButtons = 1024;
constexpr int firstButtonPin = 2;
// Delay before the group is sent again after a refused release.
constexpr int refreshDelayMs = 10;

}  // namespace

class RadioButtons : public MpGuiBase, public TimerClient {
    MpGuiPin<int> pinValue;
    MpGuiPin<bool> pinAllowNone;
    std::vector<std::unique_ptr<MpGuiPin<float>>> buttons;  // bound at 2, 3, ...

    int shown = -1;             // the lit button, -1 for none
    bool initialized = false;   // button changes count as presses only from initialize() on

public:
    explicit RadioButtons(gmpi::IMpUnknown* host) : MpGuiBase(host)
    {
        initializePin(pinValue, &RadioButtons::onSetValue);
        initializePin(pinAllowNone, &RadioButtons::onSetZero);
    }

    // The host's pin list is read as soon as the host connects, so that the button pins
    // can take the values the host delivers before initialize().
    std::int32_t setHost(gmpi::IMpUnknown* host) override
    {
        const std::int32_t result = MpGuiBase::setHost(host);
        bindButtons();
        return result;
    }

    std::int32_t initialize() override
    {
        bindButtons();
        initialized = true;
        onSetValue();
        return MpGuiBase::initialize();
    }

    // Button pins: a press or release in the host, handled as it is stored.
    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override
    {
        const std::int32_t result = MpGuiBase::setPin(pinId, voice, size, data);
        const std::int64_t button = static_cast<std::int64_t>(pinId) - firstButtonPin;
        if (result == gmpi::MP_OK && initialized && button >= 0 && button < buttonCount())
            onSetButton(static_cast<int>(button));
        return result;
    }

    void onSetValue() { showValue(false); }
    void onSetZero() { showValue(false); }

    // One tick after a refused release: the group again, sent whether or not it changed.
    bool OnTimer() override
    {
        showValue(true);
        return false;
    }

private:
    int buttonCount() const { return static_cast<int>(buttons.size()); }

    // Binds one float pin per pin the host declares beyond the first two. Buttons are only
    // ever added: a pin once bound keeps its index.
    void bindButtons()
    {
        auto* host = getHost();
        if (!host)
            return;
        void* answer = nullptr;
        if (host->createPinIterator(&answer) != gmpi::MP_OK || !answer)
            return;
        auto* iterator = static_cast<gmpi::IMpPinIterator*>(answer);
        std::int32_t count = 0;
        if (iterator->getCount(count) != gmpi::MP_OK)
            count = 0;
        iterator->release();
        const int wanted = std::clamp(count - firstButtonPin, 0, maxButtons);
        while (buttonCount() < wanted) {
            buttons.push_back(std::make_unique<MpGuiPin<float>>());
            initializePin(firstButtonPin + buttonCount() - 1, *buttons.back());
        }
    }

    // The button Value names under the current mode, -1 for none; false when Value is
    // outside the range and nothing may change.
    bool selectionOf(int value, int& selected) const
    {
        if (!pinAllowNone) {
            selected = value;
            return value >= 0 && value < buttonCount();
        }
        if (value < 0 || value > buttonCount())
            return false;
        selected = value - 1;
        return true;
    }

    // Lights the button Value names and darkens the others. `force` sends every button
    // even where the pin already holds the value.
    void showValue(bool force)
    {
        int selected = -1;
        if (!selectionOf(pinValue, selected))
            return;
        for (int i = 0; i < buttonCount(); ++i) {
            const float wanted = i == selected ? 1.0f : 0.0f;
            MpGuiPin<float>& button = *buttons[static_cast<std::size_t>(i)];
            if (force && button.getValue() == wanted) {
                pinTransmit(button.getIndex(), sizeof wanted, &wanted);
                continue;
            }
            button = wanted;
        }
        shown = selected;
    }

    void onSetButton(int button)
    {
        MpGuiPin<float>& pin = *buttons[static_cast<std::size_t>(button)];
        const bool pressed = pin.getValue() > 0.0f;  // a NaN counts as released
        if (pressed) {
            if (button == shown)
                return;
            if (shown >= 0 && shown < buttonCount())
                *buttons[static_cast<std::size_t>(shown)] = 0.0f;
            shown = button;
            pinValue = pinAllowNone ? button + 1 : button;
            return;
        }
        if (button != shown)
            return;
        if (pinAllowNone) {
            shown = -1;
            pinValue = 0;
            return;
        }
        pin = 1.0f;  // one button stays lit
        StartTimer(refreshDelayMs);
    }
};

namespace {

gmpi::IMpUnknown* createRadioButtons()
{
    return static_cast<gmpi::IMpUserInterface*>(new RadioButtons(nullptr));
}

const bool registered = RegisterPlugin(gmpi::MP_SUB_TYPE_GUI, L"RadioButtons", &createRadioButtons) == 0;

}  // namespace
