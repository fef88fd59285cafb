// Fonts by category. A skin's global metadata file ("global", kind "ImageMeta") defines
// font categories; the bundle's FontCache reads it once per skin, turns a category into a
// text format of the module's drawing factory and shares it among all text-drawing
// widgets of the bundle (FontCacheClient). Text sizes in skins are pixel heights.
// User-interface thread only; no lock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Drawing.h"
#include "mp_sdk_gui.h"

namespace gmpi_gui {
class IMpGraphicsHost;
}

// One font category of a skin.
struct FontMetadata {
    enum StyleFlags : std::int32_t {
        Bold = 1,       // weight 700
        Light = 2,      // weight 300 (neither: 400)
        Italic = 4,
        Underline = 8,
        AlignRight = 16,
        AlignCenter = 32,
    };

    std::string category;               // lower case
    std::vector<std::string> families;  // tried in order; "Verdana" when a record names none
    std::int32_t styleFlags = 0;
    std::int32_t size = 12;             // size handed to the factory (legacy layout)
    float bodyHeight = -1.0f;           // fitted height when above 0
    bool fitCapHeight = false;          // fit the capital height instead of ascent + descent
    std::int32_t pixelWidth = 8;
    std::int32_t pixelHeight = 12;      // fitted height otherwise
    std::uint32_t fontColor = 0xFFFFFFFF;   // bytes R, G, B, A in memory (0xAABBGGRR)
    std::uint32_t backgroundColor = 0;      // the same layout
    std::int32_t vst3VerticalOffset = 0;
    bool legacyLayout = true;           // size the font by `size`, not by pixel height
    std::int32_t formatSettingA = 1;    // word wrapping handed to the text format
    std::int32_t formatSettingB = 0;    // paragraph alignment handed to the text format

    // The vertical offset with the correction for the first family: "Arial"
    // -trunc(pixelHeight / 20), "MS Sans Serif" -trunc(pixelHeight / 7).
    std::int32_t getLegacyVerticalOffset() const;
    std::int32_t weight() const;
    std::int32_t textAlignment() const;
};

// The font categories of one skin, read from its global metadata file.
class SkinMetadata {
public:
    SkinMetadata();

    // Reads `size` bytes of global metadata text (lines as in image metadata): a line
    // "FONT_CATEGORY name" starts a record, other keys apply to the last record and are
    // ignored before the first. Records without a family get "Verdana".
    void Parse(const char* data, std::size_t size);
    // Reads the whole file and parses it (nothing when null or unreadable).
    void Serialise(gmpi::IProtectedFile2* file);

    // The record of `category` (case ignored), or the built-in default ("Arial" 12).
    const FontMetadata* getFont(std::string category) const;
    const std::vector<FontMetadata>& fonts() const { return records; }
    const FontMetadata& defaultFont() const { return builtInDefault; }

private:
    std::vector<FontMetadata> records;
    FontMetadata builtInDefault;
};

class FontCache {
public:
    static FontCache* instance();

    // The skin of the module's GUI host: the records read from its global file (resolved
    // name as the key), read on first request.
    SkinMetadata* getSkin(gmpi::IMpUserInterfaceHost2* uiHost);
    // The text format of `category` for the host's drawing factory and skin, created on
    // first request; `*metadata` (when given) receives the cached copy of its record.
    GmpiDrawing::TextFormat_readonly GetTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                   gmpi_gui::IMpGraphicsHost* graphicsHost, std::string category,
                                                   FontMetadata** metadata = nullptr);
    // Creates the text format of `font` and caches it under its category.
    GmpiDrawing::TextFormat_readonly CreateTextFormatAndCache(gmpi::IMpUserInterfaceHost2* uiHost,
                                                              gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                              const FontMetadata* font,
                                                              FontMetadata** metadata = nullptr);
    // The cached format `name`, or one made from a copy of `baseCategory`'s record that
    // `customise` changes, renamed to `name` and cached.
    GmpiDrawing::TextFormat_readonly GetCustomTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                         gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                         const std::string& name, const std::string& baseCategory,
                                                         const std::function<void(FontMetadata*)>& customise,
                                                         FontMetadata** metadata = nullptr);
    // Creates and caches a format from `font` under `name`.
    GmpiDrawing::TextFormat_readonly AddCustomTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                         gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                         const std::string& name, const FontMetadata* font);

    void AddClient() { ++clientCount; }
    // The last client gone drops every cached format.
    void RemoveClient();
    std::size_t formatCount() const { return formats.size(); }

private:
    struct TypefaceData {
        GmpiDrawing::TextFormat format;
        std::unique_ptr<FontMetadata> metadata;
    };
    using FontKey = std::tuple<GmpiDrawing_API::IMpFactory*, std::string, std::string>;  // factory, category, skin

    std::string skinIdentifier(gmpi::IMpUserInterfaceHost2* uiHost) const;
    GmpiDrawing::Factory factoryOf(gmpi_gui::IMpGraphicsHost* graphicsHost);
    TypefaceData* find(const FontKey& key);

    std::vector<std::pair<std::string, std::unique_ptr<SkinMetadata>>> skins;
    std::map<FontKey, TypefaceData> formats;
    // The factory wrappers, which keep their measured family ratios, by factory.
    std::map<GmpiDrawing_API::IMpFactory*, GmpiDrawing::Factory> factories;
    std::int32_t clientCount = 0;
};

// Mixin of modules that draw text in skin fonts: a font-cache client from construction to
// destruction. The module must be a drawing module (gmpi_gui::MpGuiGfxBase).
class FontCacheClient {
public:
    FontCacheClient() { FontCache::instance()->AddClient(); }
    FontCacheClient(const FontCacheClient&) = delete;
    FontCacheClient& operator=(const FontCacheClient&) = delete;
    virtual ~FontCacheClient() { FontCache::instance()->RemoveClient(); }

    GmpiDrawing::TextFormat_readonly GetTextFormat(std::string category);
    // The cached record of `category`, or null when the module has no hosts.
    FontMetadata* GetFontMetatdata(std::string category);
};
