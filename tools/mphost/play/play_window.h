// The window of `mphost play`: the patch's panel pixel for pixel as `render` draws it,
// a status line below it, and pictures of what the window shows. UI thread only; needs
// SDL's video initialised.
#pragma once

#include <filesystem>
#include <string>

#include "drawing/drawing_surface.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace mphost::cli {

class PlayWindow {
public:
    // A window for a panel of `panelWidth` x `panelHeight` pixels. Throws HostError when
    // no window can be opened.
    PlayWindow(const std::string& title, int panelWidth, int panelHeight);
    ~PlayWindow();
    PlayWindow(const PlayWindow&) = delete;
    PlayWindow& operator=(const PlayWindow&) = delete;

    // Shows `panel` at the top left and `status` in the line below it.
    void show(const DrawingSurface& panel, const std::string& status);
    // What the window shows now, read back from it, as a PNG file; false when it cannot.
    bool writeScreenshot(const std::filesystem::path& file);
    std::uint32_t id() const;

private:
    void release();

    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int width = 0;
    int height = 0;
    int panelHeight = 0;
};

}  // namespace mphost::cli
