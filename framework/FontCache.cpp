#include "FontCache.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ImageMetadata.h"
#include "mp_sdk_gfx.h"
#include "text_utilities.h"

using namespace GmpiDrawing_API;

namespace {

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

char firstLetter(const std::string& value)
{
    return value.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(value[0])));
}

// "#RRGGBB" (hexadecimal) or a decimal number taken as 0xRRGGBB, stored as the bytes
// R, G, B, 255 in memory (0xFFBBGGRR); alpha is always opaque.
std::uint32_t colourFromText(const std::string& value)
{
    const unsigned long number =
        !value.empty() && value[0] == '#' ? std::strtoul(value.c_str() + 1, nullptr, 16) : std::strtoul(value.c_str(), nullptr, 10);
    const auto rgb = static_cast<std::uint32_t>(number);
    const std::uint32_t red = (rgb >> 16) & 0xFF;
    const std::uint32_t green = (rgb >> 8) & 0xFF;
    const std::uint32_t blue = rgb & 0xFF;
    return 0xFF000000u | (blue << 16) | (green << 8) | red;
}

}  // namespace

std::int32_t FontMetadata::getLegacyVerticalOffset() const
{
    const std::string first = families.empty() ? std::string() : families.front();
    if (first == "Arial")
        return vst3VerticalOffset - pixelHeight / 20;
    if (first == "MS Sans Serif")
        return vst3VerticalOffset - pixelHeight / 7;
    return vst3VerticalOffset;
}

std::int32_t FontMetadata::weight() const
{
    if (styleFlags & Bold)
        return MP1_FONT_WEIGHT_BOLD;
    if (styleFlags & Light)
        return MP1_FONT_WEIGHT_LIGHT;
    return MP1_FONT_WEIGHT_NORMAL;
}

std::int32_t FontMetadata::textAlignment() const
{
    if (styleFlags & AlignCenter)
        return MP1_TEXT_ALIGNMENT_CENTER;
    if (styleFlags & AlignRight)
        return MP1_TEXT_ALIGNMENT_TRAILING;
    return MP1_TEXT_ALIGNMENT_LEADING;
}

// ---------------------------------------------------------------------------------

SkinMetadata::SkinMetadata()
{
    builtInDefault.category = "default";
    builtInDefault.families = {"Arial"};
}

void SkinMetadata::Parse(const char* data, std::size_t size)
{
    ForEachMetadataLine(data, size, [this](const std::vector<std::string>& tokens) {
        const std::string& key = tokens[0];
        const std::size_t values = tokens.size() - 1;
        if (key == "FONT_CATEGORY") {
            records.emplace_back();
            records.back().category = values >= 1 ? lowerCase(tokens[1]) : std::string();
            return;
        }
        if (records.empty() || values < 1)
            return;  // keys before the first category are ignored
        FontMetadata& font = records.back();
        const std::string& value = tokens[1];
        if (key == "font-family") {
            font.families.insert(font.families.end(), tokens.begin() + 1, tokens.end());
        } else if (key == "font-weight") {
            const char letter = firstLetter(value);
            if (letter == 'b') {
                font.styleFlags = (font.styleFlags & ~FontMetadata::Light) | FontMetadata::Bold;
            } else if (letter == 'l') {
                font.styleFlags = (font.styleFlags & ~FontMetadata::Bold) | FontMetadata::Light;
            } else {
                const int weight = StringToInt(value);
                if (weight != 0 && weight < 301)
                    font.styleFlags = (font.styleFlags & ~FontMetadata::Bold) | FontMetadata::Light;
                else if (weight > 550)
                    font.styleFlags = (font.styleFlags & ~FontMetadata::Light) | FontMetadata::Bold;
            }
        } else if (key == "font-style") {
            if (firstLetter(value) == 'i')
                font.styleFlags |= FontMetadata::Italic;
        } else if (key == "text-align") {
            const char letter = firstLetter(value);
            if (letter == 'r')
                font.styleFlags |= FontMetadata::AlignRight;
            else if (letter == 'c')
                font.styleFlags |= FontMetadata::AlignCenter;
        } else if (key == "text-decoration") {
            if (firstLetter(value) == 'u')
                font.styleFlags |= FontMetadata::Underline;
        } else if (key == "font-size") {
            font.size = StringToInt(value);
            font.pixelHeight = font.size;
        } else if (key == "GDI_pixelWidth") {
            font.pixelWidth = StringToInt(value);
        } else if (key == "GDI_pixelHeight") {
            font.pixelHeight = StringToInt(value);
        } else if (key == "font-color") {
            font.fontColor = colourFromText(value);
        } else if (key == "background-color") {
            font.backgroundColor = colourFromText(value);
        } else if (key == "vst3-vertical-offset") {
            font.vst3VerticalOffset = StringToInt(value);
        } else if (key == "legacy-vertical-offset") {
            font.legacyLayout = StringToInt(value) != 0;
        }
    });
    for (FontMetadata& font : records)
        if (font.families.empty())
            font.families.push_back("Verdana");
}

void SkinMetadata::Serialise(gmpi::IProtectedFile2* file)
{
    const std::string contents = ReadWholeFile(file);
    Parse(contents.data(), contents.size());
}

const FontMetadata* SkinMetadata::getFont(std::string category) const
{
    category = lowerCase(std::move(category));
    for (const FontMetadata& font : records)
        if (font.category == category)
            return &font;
    return &builtInDefault;
}

// ---------------------------------------------------------------------------------

FontCache* FontCache::instance()
{
    static FontCache cache;
    return &cache;
}

void FontCache::RemoveClient()
{
    if (clientCount > 0 && --clientCount == 0) {
        formats.clear();
        factories.clear();
    }
}

std::string FontCache::skinIdentifier(gmpi::IMpUserInterfaceHost2* uiHost) const
{
    gmpi_sdk::MpString name;
    if (uiHost && uiHost->resolveSkinResource("global", "ImageMeta", &name) == gmpi::MP_OK)
        return name.str();
    return {};
}

SkinMetadata* FontCache::getSkin(gmpi::IMpUserInterfaceHost2* uiHost)
{
    const std::string identifier = skinIdentifier(uiHost);
    for (auto& skin : skins)
        if (skin.first == identifier)
            return skin.second.get();
    auto skin = std::make_unique<SkinMetadata>();
    if (!identifier.empty()) {
        gmpi_sdk::mp_shared_ptr<gmpi::IProtectedFile2> file;
        if (uiHost->openSkinResource(identifier.c_str(), file.put()) == gmpi::MP_OK && file)
            skin->Serialise(file.get());
    }
    skins.emplace_back(identifier, std::move(skin));
    return skins.back().second.get();
}

GmpiDrawing::Factory FontCache::factoryOf(gmpi_gui::IMpGraphicsHost* graphicsHost)
{
    GmpiDrawing::Factory factory;
    if (graphicsHost)
        graphicsHost->GetDrawingFactory(factory.GetAddressOf());
    if (!factory)
        return factory;
    auto known = factories.find(factory.Get());
    if (known != factories.end())
        return known->second;  // the wrapper that holds the measured ratios
    factories.emplace(factory.Get(), factory);
    return factory;
}

FontCache::TypefaceData* FontCache::find(const FontKey& key)
{
    const auto found = formats.find(key);
    return found == formats.end() ? nullptr : &found->second;
}

GmpiDrawing::TextFormat_readonly FontCache::GetTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                          gmpi_gui::IMpGraphicsHost* graphicsHost, std::string category,
                                                          FontMetadata** metadata)
{
    if (metadata)
        *metadata = nullptr;
    const FontMetadata* font = getSkin(uiHost)->getFont(category);
    GmpiDrawing::Factory factory = factoryOf(graphicsHost);
    if (!factory)
        return {};
    if (TypefaceData* cached = find({factory.Get(), font->category, skinIdentifier(uiHost)})) {
        if (metadata)
            *metadata = cached->metadata.get();
        return cached->format;
    }
    return CreateTextFormatAndCache(uiHost, graphicsHost, font, metadata);
}

GmpiDrawing::TextFormat_readonly FontCache::CreateTextFormatAndCache(gmpi::IMpUserInterfaceHost2* uiHost,
                                                                     gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                                     const FontMetadata* font, FontMetadata** metadata)
{
    if (metadata)
        *metadata = nullptr;
    if (!font)
        return {};
    const std::string skin = skinIdentifier(uiHost);
    GmpiDrawing::Factory factory = factoryOf(graphicsHost);
    if (!factory)
        return {};
    const std::int32_t style = (font->styleFlags & FontMetadata::Italic) ? MP1_FONT_STYLE_ITALIC : MP1_FONT_STYLE_NORMAL;
    GmpiDrawing::TextFormat format;
    if (font->legacyLayout) {
        const char* family = font->families.empty() ? "Arial" : font->families.front().c_str();
        format = factory.CreateTextFormat(static_cast<float>(font->size), family, font->weight(), style,
                                          MP1_FONT_STRETCH_NORMAL);
    } else {
        const float height = font->bodyHeight > 0.0f ? font->bodyHeight : static_cast<float>(std::max(1, font->pixelHeight));
        format = factory.CreateTextFormat2(height, font->families, font->weight(), style, MP1_FONT_STRETCH_NORMAL,
                                           font->fitCapHeight);
        factories[factory.Get()] = factory;  // keep what it measured
    }
    format.SetTextAlignment(font->textAlignment());
    format.SetParagraphAlignment(font->formatSettingB);
    format.SetWordWrapping(font->formatSettingA);

    TypefaceData& entry = formats[{factory.Get(), font->category, skin}];
    entry.format = format;
    entry.metadata = std::make_unique<FontMetadata>(*font);
    if (metadata)
        *metadata = entry.metadata.get();
    return entry.format;
}

GmpiDrawing::TextFormat_readonly FontCache::GetCustomTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                                gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                                const std::string& name, const std::string& baseCategory,
                                                                const std::function<void(FontMetadata*)>& customise,
                                                                FontMetadata** metadata)
{
    if (metadata)
        *metadata = nullptr;
    GmpiDrawing::Factory factory = factoryOf(graphicsHost);
    if (!factory)
        return {};
    if (TypefaceData* cached = find({factory.Get(), name, skinIdentifier(uiHost)})) {
        if (metadata)
            *metadata = cached->metadata.get();
        return cached->format;
    }
    FontMetadata copy = *getSkin(uiHost)->getFont(baseCategory);
    if (customise)
        customise(&copy);
    copy.category = name;
    return CreateTextFormatAndCache(uiHost, graphicsHost, &copy, metadata);
}

GmpiDrawing::TextFormat_readonly FontCache::AddCustomTextFormat(gmpi::IMpUserInterfaceHost2* uiHost,
                                                                gmpi_gui::IMpGraphicsHost* graphicsHost,
                                                                const std::string& name, const FontMetadata* font)
{
    if (!font)
        return {};
    FontMetadata copy = *font;
    copy.category = name;
    return CreateTextFormatAndCache(uiHost, graphicsHost, &copy, nullptr);
}

// ---------------------------------------------------------------------------------

namespace {
gmpi_gui::MpGuiGfxBase* drawingModule(FontCacheClient* client)
{
    return dynamic_cast<gmpi_gui::MpGuiGfxBase*>(client);
}
}  // namespace

GmpiDrawing::TextFormat_readonly FontCacheClient::GetTextFormat(std::string category)
{
    auto* module = drawingModule(this);
    if (!module)
        return {};
    return FontCache::instance()->GetTextFormat(module->getHost(), module->getGuiHost(), std::move(category));
}

FontMetadata* FontCacheClient::GetFontMetatdata(std::string category)
{
    auto* module = drawingModule(this);
    if (!module)
        return nullptr;
    FontMetadata* metadata = nullptr;
    FontCache::instance()->GetTextFormat(module->getHost(), module->getGuiHost(), std::move(category), &metadata);
    return metadata;
}
