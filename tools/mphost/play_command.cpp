// mphost play: a patch live, its panel in a window, its outputs on the system's audio.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>

#include <SDL.h>

#include "commands.h"
#include "common/file_access.h"
#include "common/host_error.h"
#include "engine/live_engine.h"
#include "engine/patch.h"
#include "mp_drawing_api.h"
#include "play/audio_output.h"
#include "play/play_window.h"
#include "play/wav_recorder.h"

namespace mphost::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The signal that asked the player to stop (SIGINT, SIGTERM, SIGHUP), or 0.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void askPlayerToStop(int signal)
{
    stopSignal = signal;
}

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = askPlayerToStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN)  // nohup and background jobs keep ignoring them
            sigaction(signal, &action, nullptr);
    }
}

// Mouse events the player pushes itself carry this mouse id, so that the handler knows
// them from the user's.
constexpr Uint32 scriptedMouse = 0x5C12;
// Scripted input is handed to the GUI this long before the DSP side reaches its time,
// and held until then: it lands on the block an offline render gives it.
constexpr double scriptLeadSeconds = 0.5;

// The patch's script as live input: pointer events through the window system (or straight
// to the engine without a window), GUI pin values set directly, each at its time.
class ScriptPlayer {
public:
    ScriptPlayer(const Patch& patch, bool enabled) : patch(patch)
    {
        if (!enabled)
            return;
        for (const ScriptEvent& event : patch.script) {
            if (event.kind == ScriptEvent::Kind::Pointer ||
                (event.kind == ScriptEvent::Kind::SetPin && event.pin.half == Half::Gui))
                events.push_back(&event);
            else if (event.kind != ScriptEvent::Kind::SetPin)
                skipped = true;
        }
    }
    bool skippedSome() const { return skipped; }
    void restart()
    {
        next = 0;
        pushed.clear();
    }

    // Hands over the events due by the DSP side's `position` plus the lead.
    void step(LiveEngine& live, PlayWindow* window)
    {
        const auto lead = static_cast<std::int64_t>(scriptLeadSeconds * patch.sampleRate);
        for (; next < events.size() && events[next]->sample <= live.position() + lead; ++next) {
            const ScriptEvent& event = *events[next];
            if (event.kind == ScriptEvent::Kind::SetPin) {
                live.holdUntil(event.sample);
                GuiModule* module = live.offline().gui(patch.modules[event.pin.module].name);
                module->setPinRaw(module->pin(event.pin.pin).index, encodePinValue(event.value));
                continue;
            }
            const auto& rect = *patch.modules[event.module].rect;
            const GmpiDrawing_API::MP1_POINT point{rect.left + event.point.x, rect.top + event.point.y};
            if (!window) {
                live.holdUntil(event.sample);
                live.pointer(event.action, event.flags, point);
                continue;
            }
            pushed.push_back({event.sample, event.flags});
            SDL_Event sdl{};
            const int x = static_cast<int>(point.x), y = static_cast<int>(point.y);
            if (event.action == PointerAction::Move) {
                sdl.type = SDL_MOUSEMOTION;
                sdl.motion = SDL_MouseMotionEvent{SDL_MOUSEMOTION, SDL_GetTicks(), window->id(), scriptedMouse,
                                                  (event.flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON)
                                                      ? static_cast<Uint32>(SDL_BUTTON_LMASK)
                                                      : 0u,
                                                  x, y, 0, 0};
            } else {
                const bool down = event.action == PointerAction::Down;
                sdl.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
                sdl.button.type = sdl.type;
                sdl.button.timestamp = SDL_GetTicks();
                sdl.button.windowID = window->id();
                sdl.button.which = scriptedMouse;
                sdl.button.button = SDL_BUTTON_LEFT;
                sdl.button.state = down ? SDL_PRESSED : SDL_RELEASED;
                sdl.button.clicks = 1;
                sdl.button.x = x;
                sdl.button.y = y;
            }
            SDL_PushEvent(&sdl);
        }
    }

    // For a mouse event the player pushed: its hold and the script's flags.
    std::optional<std::pair<std::int64_t, std::int32_t>> takePushed(Uint32 mouse)
    {
        if (mouse != scriptedMouse || pushed.empty())
            return std::nullopt;
        const auto front = pushed.front();
        pushed.pop_front();
        return front;
    }

private:
    const Patch& patch;
    std::vector<const ScriptEvent*> events;
    std::size_t next = 0;
    std::deque<std::pair<std::int64_t, std::int32_t>> pushed;
    bool skipped = false;
};

std::int32_t modifierFlags()
{
    return (SDL_GetModState() & KMOD_CTRL) ? gmpi_gui_api::GG_POINTER_KEY_CONTROL : 0;
}

// Wheel notches: the module interface has no wheel, so a notch is what a knob or fader
// understands, a press, a drag of four pixels (up for a turn away from the user) and a
// release at the pointer.
void wheel(LiveEngine& live, int notches, GmpiDrawing_API::MP1_POINT at)
{
    const std::int32_t flags = gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON | modifierFlags();
    const GmpiDrawing_API::MP1_POINT to{at.x, at.y - 4.0f * static_cast<float>(notches)};
    live.holdUntil(0);
    if (live.pointer(PointerAction::Down, flags, at)) {
        live.pointer(PointerAction::Move, flags, to);
        live.pointer(PointerAction::Up, flags, to);
    }
}

std::string statusLine(const AudioCallback::Load& load, std::uint64_t xruns, const Patch& patch, bool paused)
{
    std::ostringstream line;
    line << std::fixed << std::setprecision(1) << "load " << load.mean << " % (peak " << load.peak << " %)   xruns "
         << xruns << "   " << static_cast<int>(patch.sampleRate) << " Hz   block " << patch.blockSize;
    if (paused)
        line << "   paused";
    return line.str();
}

}  // namespace

int runPlay(const PlayOptions& options)
{
    stopSignal = 0;
    try {
        PatchEnvironment environment;
        environment.bundleFolders = bundleFolders(options.bundleFolders);
        Patch patch = loadPatch(options.patch, environment);
        try {
            patch.changeTiming(std::nullopt, options.sampleRate, options.blockSize);
        } catch (const HostError& error) {
            std::cerr << "mphost play: " << error.what() << "\n";
            return 2;
        }
        if (!options.skin.empty())
            patch.skinFolder = options.skin;
        else if (patch.skinFolder.empty())
            patch.skinFolder = defaultSkinFolder();
        if (!options.runScript)
            patch.script.clear();
        if (!options.record.empty())
            checkWritable(options.record, "recording");

        // The window system and the audio device, each named when it is missing.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        struct SdlSession {
            ~SdlSession() { SDL_Quit(); }
        } sdl;
        if (!options.headless) {
            const auto noDisplay = [](const std::string& reason) {
                return HostError("no display: cannot open a window (" + reason +
                                 "); run it under a desktop session or an X server, or use --headless");
            };
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
                throw noDisplay(std::string("SDL: ") + SDL_GetError());
            // With no window system SDL falls back to drawing off screen, where no one sees
            // the window: that is a missing display too, unless asked for by name.
            const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
            const char* asked = SDL_getenv("SDL_VIDEODRIVER");
            if ((driver == "offscreen" || driver == "dummy") && !(asked && driver == asked))
                throw noDisplay("neither DISPLAY nor WAYLAND_DISPLAY leads to one");
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
                throw HostError(std::string("no audio device: cannot start audio output (SDL: ") + SDL_GetError() +
                                "); use --headless to play to a null device");
        }
        catchStopSignals();

        auto live = std::make_unique<LiveEngine>(patch);
        const int channels = live->channels(2);
        if (patch.outputs.size() > 2)
            std::cerr << "mphost play: the patch has " << patch.outputs.size()
                      << " outputs; the first two are played\n";
        if (patch.outputs.empty())
            std::cerr << "mphost play: the patch names no \"outputs\"; it plays silence\n";
        const int rate = static_cast<int>(patch.sampleRate);

        std::optional<WavRecorder> recorder;
        if (!options.record.empty())
            recorder.emplace(options.record, channels, rate);
        AudioCallback callback(channels, rate);
        callback.attach(live.get(), recorder ? &*recorder : nullptr);

        std::optional<NullAudioDevice> nullDevice;
        std::optional<SdlAudioDevice> sdlDevice;
        std::optional<PlayWindow> window;
        if (options.headless) {
            nullDevice.emplace(callback, patch.blockSize);
        } else {
            sdlDevice.emplace(callback, options.device, patch.blockSize);
            const DrawingSurface panel = live->renderPanel();
            window.emplace("mphost play - " + options.patch.filename().string(), panel.width(), panel.height());
        }
        const auto startAudio = [&] { nullDevice ? nullDevice->start() : sdlDevice->start(); };
        const auto stopAudio = [&] { nullDevice ? nullDevice->stop() : sdlDevice->stop(); };

        ScriptPlayer script(patch, options.runScript);
        if (script.skippedSome())
            std::cerr << "mphost play: the script's context-menu and file-dialog steps are not played live\n";

        const auto started = Clock::now();
        auto nextStatus = started + std::chrono::seconds(1);
        auto nextFrame = started;
        std::string status = statusLine({}, 0, patch, false);
        bool quit = false;
        startAudio();
        while (!quit && !stopSignal) {
            if (window) {
                SDL_Event event;
                while (SDL_PollEvent(&event)) {
                    if (event.type == SDL_QUIT) {
                        quit = true;
                    } else if (event.type == SDL_KEYDOWN && event.key.repeat == 0) {
                        const SDL_Keycode key = event.key.keysym.sym;
                        if (key == SDLK_q) {
                            quit = true;
                        } else if (key == SDLK_SPACE) {
                            callback.setPaused(!callback.paused());
                        } else if (key == SDLK_r) {
                            // Every module anew, from the patch's initial state.
                            stopAudio();
                            callback.attach(nullptr, recorder ? &*recorder : nullptr);
                            live.reset();
                            live = std::make_unique<LiveEngine>(patch);
                            callback.attach(live.get(), recorder ? &*recorder : nullptr);
                            script.restart();
                            startAudio();
                        }
                    } else if (event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP) {
                        if (event.button.button != SDL_BUTTON_LEFT)
                            continue;
                        const auto scripted = script.takePushed(event.button.which);
                        live->holdUntil(scripted ? scripted->first : 0);
                        const std::int32_t flags =
                            scripted ? scripted->second : gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON | modifierFlags();
                        live->pointer(event.type == SDL_MOUSEBUTTONDOWN ? PointerAction::Down : PointerAction::Up,
                                      flags, {static_cast<float>(event.button.x), static_cast<float>(event.button.y)});
                    } else if (event.type == SDL_MOUSEMOTION) {
                        const auto scripted = script.takePushed(event.motion.which);
                        live->holdUntil(scripted ? scripted->first : 0);
                        const std::int32_t flags =
                            scripted ? scripted->second
                                     : ((event.motion.state & SDL_BUTTON_LMASK) ? gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON
                                                                                : 0) |
                                           modifierFlags();
                        live->pointer(PointerAction::Move, flags,
                                      {static_cast<float>(event.motion.x), static_cast<float>(event.motion.y)});
                    } else if (event.type == SDL_MOUSEWHEEL && event.wheel.y != 0) {
                        int x = 0, y = 0;
                        SDL_GetMouseState(&x, &y);
                        wheel(*live, event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y,
                              {static_cast<float>(x), static_cast<float>(y)});
                    }
                }
            }
            script.step(*live, window ? &*window : nullptr);
            live->pumpUserInterface();

            const auto now = Clock::now();
            if (now >= nextStatus) {
                nextStatus += std::chrono::seconds(1);
                status = statusLine(callback.takeLoad(), callback.xruns(), patch, callback.paused());
                if (options.stats)
                    std::cout << status << std::endl;
            }
            if (window && now >= nextFrame) {
                nextFrame = now + std::chrono::milliseconds(33);
                window->show(live->renderPanel(), status);
            }
            if (options.quitAfter &&
                static_cast<double>(live->position()) >= *options.quitAfter * static_cast<double>(patch.sampleRate))
                quit = true;
            if (window)
                SDL_WaitEventTimeout(nullptr, 4);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        stopAudio();
        callback.attach(nullptr, nullptr);

        int result = 0;
        if (window && !options.screenshot.empty()) {
            window->show(live->renderPanel(), status);
            if (!window->writeScreenshot(options.screenshot)) {
                std::cerr << "mphost play: cannot write the screenshot '" << options.screenshot.string() << "'\n";
                result = 1;
            }
        }
        std::cout << std::fixed << std::setprecision(2) << "played "
                  << static_cast<double>(live->position()) / patch.sampleRate << " s: xruns " << callback.xruns()
                  << ", audio-thread allocations " << live->allocationsOnAudioThread() << ", late input "
                  << live->lateCrossings() << ", dropped crossings " << live->droppedCrossings() << "\n";
        if (recorder) {
            const std::string error = recorder->finish();
            if (!error.empty()) {
                std::cerr << "mphost play: recording " << error << "\n";
                result = 1;
            } else {
                std::cout << "recorded " << options.record.string() << " (" << recorder->framesWritten() << " frames";
                if (recorder->droppedFrames() > 0)
                    std::cout << ", " << recorder->droppedFrames() << " frames lost: the disk fell behind";
                std::cout << ")\n";
            }
        }
        live.reset();
        // Stopped by a signal: everything is written; the status says which signal.
        return stopSignal ? 128 + stopSignal : result;
    } catch (const HostError& error) {
        std::cerr << "mphost play: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
