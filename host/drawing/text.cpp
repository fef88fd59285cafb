// Text formats: a fontconfig-matched face drawn through cairo-ft, FreeType metrics, and
// a small line layout (hard breaks, greedy word wrapping, horizontal and vertical
// alignment within a layout rectangle).
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>

#include "drawing/drawing_objects.h"

namespace mphost::drawing {

namespace {
// Longest text taken in one call, in bytes.
constexpr std::size_t maximumTextBytes = 1u << 20;
}  // namespace

std::string cleanUtf8(const char* text, std::int32_t length)
{
    std::string result;
    if (!text)
        return result;
    const std::size_t size = length < 0 ? strnlen(text, maximumTextBytes)
                                        : std::min<std::size_t>(static_cast<std::size_t>(length), maximumTextBytes);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    result.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        std::size_t count = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            count = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            count = 2;
            codePoint = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            count = 3;
            codePoint = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            count = 4;
            codePoint = lead & 0x07;
            minimum = 0x10000;
        }
        bool valid = count > 0 && i + count <= size;
        for (std::size_t k = 1; valid && k < count; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
        }
        valid = valid && codePoint >= minimum && codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
        if (!valid) {
            result += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        if (codePoint == '\t')
            result += ' ';
        else if (codePoint >= 0x20 || codePoint == '\n')
            result.append(text + i, count);
        i += count;
    }
    return result;
}

const TextFormat* textFormatOf(const api::IMpTextFormat* format)
{
    return format ? dynamic_cast<const TextFormat*>(format) : nullptr;
}

TextFormat::TextFormat(cairo_font_face_t* fontFace, double fontSize) : face(fontFace), size(fontSize)
{
    options = cairo_font_options_create();
    // Unhinted metrics: measured widths do not depend on where text lands.
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_matrix_t fontMatrix;
    cairo_matrix_t identity;
    cairo_matrix_init_scale(&fontMatrix, size, size);
    cairo_matrix_init_identity(&identity);
    scaledFont = cairo_scaled_font_create(face, &fontMatrix, &identity, options);
    if (cairo_scaled_font_status(scaledFont) != CAIRO_STATUS_SUCCESS) {
        cairo_scaled_font_destroy(scaledFont);
        scaledFont = nullptr;
        return;
    }

    cairo_font_extents_t extents;
    cairo_scaled_font_extents(scaledFont, &extents);
    metrics.ascent = static_cast<float>(extents.ascent);
    metrics.descent = static_cast<float>(extents.descent);
    metrics.lineGap = static_cast<float>(std::max(0.0, extents.height - extents.ascent - extents.descent));
    cairo_text_extents_t glyph;
    cairo_scaled_font_text_extents(scaledFont, "H", &glyph);
    metrics.capHeight = static_cast<float>(-glyph.y_bearing);
    cairo_scaled_font_text_extents(scaledFont, "x", &glyph);
    metrics.xHeight = static_cast<float>(-glyph.y_bearing);
    metrics.underlinePosition = static_cast<float>(-extents.descent / 2);
    metrics.underlineThickness = static_cast<float>(size / 14);
    metrics.strikethroughPosition = metrics.xHeight / 2;
    metrics.strikethroughThickness = metrics.underlineThickness;

    // The font's own tables where it has them (scalable faces).
    if (FT_Face ftFace = cairo_ft_scaled_font_lock_face(scaledFont)) {
        if (FT_IS_SCALABLE(ftFace) && ftFace->units_per_EM > 0) {
            const double scale = size / ftFace->units_per_EM;
            metrics.ascent = static_cast<float>(ftFace->ascender * scale);
            metrics.descent = static_cast<float>(-ftFace->descender * scale);
            metrics.lineGap =
                static_cast<float>(std::max(0, ftFace->height - ftFace->ascender + ftFace->descender) * scale);
            metrics.underlinePosition = static_cast<float>(ftFace->underline_position * scale);
            metrics.underlineThickness = static_cast<float>(ftFace->underline_thickness * scale);
            if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2))) {
                if (os2->version >= 2 && os2->sCapHeight > 0)
                    metrics.capHeight = static_cast<float>(os2->sCapHeight * scale);
                if (os2->version >= 2 && os2->sxHeight > 0)
                    metrics.xHeight = static_cast<float>(os2->sxHeight * scale);
                if (os2->yStrikeoutSize > 0) {
                    metrics.strikethroughPosition = static_cast<float>(os2->yStrikeoutPosition * scale);
                    metrics.strikethroughThickness = static_cast<float>(os2->yStrikeoutSize * scale);
                }
            }
        }
        cairo_ft_scaled_font_unlock_face(scaledFont);
    }
}

TextFormat::~TextFormat()
{
    if (scaledFont)
        cairo_scaled_font_destroy(scaledFont);
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(face);
}

std::int32_t TextFormat::SetTextAlignment(std::int32_t alignment)
{
    if (alignment < api::MP1_TEXT_ALIGNMENT_LEADING || alignment > api::MP1_TEXT_ALIGNMENT_CENTER)
        return gmpi::MP_FAIL;
    textAlignment = alignment;
    return gmpi::MP_OK;
}

std::int32_t TextFormat::SetParagraphAlignment(std::int32_t alignment)
{
    if (alignment < api::MP1_PARAGRAPH_ALIGNMENT_NEAR || alignment > api::MP1_PARAGRAPH_ALIGNMENT_CENTER)
        return gmpi::MP_FAIL;
    paragraphAlignment = alignment;
    return gmpi::MP_OK;
}

std::int32_t TextFormat::SetWordWrapping(std::int32_t wrapping)
{
    if (wrapping != api::MP1_WORD_WRAPPING_WRAP && wrapping != api::MP1_WORD_WRAPPING_NO_WRAP)
        return gmpi::MP_FAIL;
    wordWrapping = wrapping;
    return gmpi::MP_OK;
}

std::int32_t TextFormat::SetLineSpacing(float newLineSpacing, float newBaseline)
{
    if (!std::isfinite(newLineSpacing) || !std::isfinite(newBaseline)) {
        countNonFinite();
        return gmpi::MP_FAIL;
    }
    lineSpacing = newLineSpacing < 0.0f ? -1.0 : std::min<double>(newLineSpacing, maximumCoordinate);
    baseline = newLineSpacing < 0.0f ? -1.0 : std::clamp<double>(newBaseline, 0.0, maximumCoordinate);
    return gmpi::MP_OK;
}

std::int32_t TextFormat::GetFontMetrics(api::MP1_FONT_METRICS* returnFontMetrics)
{
    if (!returnFontMetrics)
        return gmpi::MP_FAIL;
    *returnFontMetrics = metrics;
    return gmpi::MP_OK;
}

double TextFormat::advance(const std::string& text) const
{
    cairo_text_extents_t extents;
    cairo_scaled_font_text_extents(scaledFont, text.c_str(), &extents);
    return extents.x_advance;
}

double TextFormat::lineHeight() const
{
    return lineSpacing >= 0.0 ? lineSpacing : metrics.ascent + metrics.descent + metrics.lineGap;
}

std::int32_t TextFormat::GetTextExtentU(const char* utf8String, std::int32_t stringLength, api::MP1_SIZE* returnSize)
{
    if (!returnSize)
        return gmpi::MP_FAIL;
    *returnSize = {0, 0};
    if (!utf8String)
        return gmpi::MP_FAIL;
    std::string text = cleanUtf8(utf8String, stringLength);
    std::replace(text.begin(), text.end(), '\n', ' ');  // one line
    *returnSize = {static_cast<float>(advance(text)), static_cast<float>(lineHeight())};
    return gmpi::MP_OK;
}

std::vector<std::string> TextFormat::lines(const std::string& text, double width) const
{
    std::vector<std::string> result;
    const bool wrap = wordWrapping == api::MP1_WORD_WRAPPING_WRAP && width > 0.0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!wrap || advance(paragraph) <= width) {
            result.push_back(paragraph);
        } else {
            // Greedy: as many words as fit; a word wider than the line stands alone.
            std::string line;
            std::size_t position = 0;
            while (position < paragraph.size()) {
                std::size_t next = paragraph.find(' ', position);
                if (next == std::string::npos)
                    next = paragraph.size();
                const std::string word = paragraph.substr(position, next - position);
                const std::string candidate = line.empty() ? word : line + " " + word;
                if (!line.empty() && advance(candidate) > width) {
                    result.push_back(line);
                    line = word;
                } else {
                    line = candidate;
                }
                position = next + 1;
            }
            result.push_back(line);
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return result;
}

void TextFormat::draw(cairo_t* context, const std::string& text, const api::MP1_RECT& layout, bool clip) const
{
    const double width = layout.right - layout.left;
    const double height = layout.bottom - layout.top;
    if (clip) {
        cairo_new_path(context);
        cairo_rectangle(context, layout.left, layout.top, width, height);
        cairo_clip(context);
    }
    cairo_set_font_face(context, face);
    cairo_set_font_size(context, size);
    cairo_set_font_options(context, options);

    const std::vector<std::string> laidOut = lines(text, width);
    const double step = lineHeight();
    const double total = step * static_cast<double>(laidOut.size());
    double top = layout.top;
    if (paragraphAlignment == api::MP1_PARAGRAPH_ALIGNMENT_FAR)
        top = layout.bottom - total;
    else if (paragraphAlignment == api::MP1_PARAGRAPH_ALIGNMENT_CENTER)
        top = layout.top + (height - total) / 2;
    const double baselineOffset = baseline >= 0.0 ? baseline : metrics.ascent;

    for (std::size_t i = 0; i < laidOut.size(); ++i) {
        const std::string& line = laidOut[i];
        if (line.empty())
            continue;
        double x = layout.left;
        if (textAlignment == api::MP1_TEXT_ALIGNMENT_TRAILING)
            x = layout.right - advance(line);
        else if (textAlignment == api::MP1_TEXT_ALIGNMENT_CENTER)
            x = layout.left + (width - advance(line)) / 2;
        cairo_move_to(context, x, top + step * static_cast<double>(i) + baselineOffset);
        cairo_show_text(context, line.c_str());
    }
}

}  // namespace mphost::drawing
