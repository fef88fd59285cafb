#include "play/play_window.h"

#include <algorithm>
#include <cstring>

#include <SDL.h>
#include <cairo.h>

#include "common/host_error.h"

namespace mphost::cli {

namespace {

constexpr int statusHeight = 22;
constexpr int smallestWidth = 520;  // room for the status line

}  // namespace

PlayWindow::PlayWindow(const std::string& title, int panelWidth, int panelHeight)
    : width(std::max(panelWidth, smallestWidth)), height(panelHeight + statusHeight), panelHeight(panelHeight)
{
    window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                              SDL_WINDOW_SHOWN);
    if (!window)
        throw HostError(std::string("no display: cannot open a window (SDL: ") + SDL_GetError() + ")");
    renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer)
        renderer = SDL_CreateRenderer(window, -1, 0);
    if (renderer)
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!renderer || !texture) {
        const std::string reason = SDL_GetError();
        release();
        throw HostError("cannot draw into the window (SDL: " + reason + ")");
    }
}

PlayWindow::~PlayWindow()
{
    release();
}

void PlayWindow::release()
{
    if (texture)
        SDL_DestroyTexture(texture);
    if (renderer)
        SDL_DestroyRenderer(renderer);
    if (window)
        SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
}

std::uint32_t PlayWindow::id() const
{
    return SDL_GetWindowID(window);
}

// The frame is put together on a cairo image (ARGB32, the texture's layout): the panel's
// pixels copied as they are, then the status line drawn in a monospaced face.
void PlayWindow::show(const DrawingSurface& panel, const std::string& status)
{
    cairo_surface_t* frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(frame);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_surface_flush(frame);
    if (const std::uint8_t* pixels = panel.pixels()) {
        unsigned char* target = cairo_image_surface_get_data(frame);
        const int targetStride = cairo_image_surface_get_stride(frame);
        const int rows = std::min(panel.height(), panelHeight);
        const int columns = std::min(panel.width(), width);
        for (int y = 0; y < rows; ++y)
            std::memcpy(target + y * targetStride, pixels + y * panel.stride(), static_cast<std::size_t>(columns) * 4);
        cairo_surface_mark_dirty(frame);
    }
    cairo_set_source_rgb(cr, 0.16, 0.17, 0.19);
    cairo_rectangle(cr, 0, panelHeight, width, statusHeight);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_set_source_rgb(cr, 0.92, 0.93, 0.95);
    cairo_move_to(cr, 6, panelHeight + statusHeight - 7);
    cairo_show_text(cr, status.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(frame);
    SDL_UpdateTexture(texture, nullptr, cairo_image_surface_get_data(frame), cairo_image_surface_get_stride(frame));
    cairo_surface_destroy(frame);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
}

bool PlayWindow::writeScreenshot(const std::filesystem::path& file)
{
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(picture);
    const bool read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888,
                                           cairo_image_surface_get_data(picture),
                                           cairo_image_surface_get_stride(picture)) == 0;
    cairo_surface_mark_dirty(picture);
    // The window is opaque: the byte SDL leaves in the alpha position may be 0.
    if (read) {
        unsigned char* data = cairo_image_surface_get_data(picture);
        const int stride = cairo_image_surface_get_stride(picture);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, data + y * stride + x * 4, 4);
                pixel |= 0xFF000000u;
                std::memcpy(data + y * stride + x * 4, &pixel, 4);
            }
        cairo_surface_mark_dirty(picture);
    }
    const bool written = read && cairo_surface_write_to_png(picture, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(picture);
    return written;
}

}  // namespace mphost::cli
