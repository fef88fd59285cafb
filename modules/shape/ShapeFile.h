// Shape files, shared by the shape loaders and savers. A shape file holds one shape
// string in normalised form ("(x,y)" per node, default number formatting, nothing
// between groups, no line end), optionally followed by a line feed, "ITP=" and the
// interpolation mode 0 .. 3. The content is plain ASCII: each byte is one character.
// File names are wide strings, opened as UTF-8. Everything here runs on the host's
// user-interface thread and reports failures only through its results.
#pragma once

#include <optional>
#include <string>

#include "mp_gui_api.h"

// What a shape file gave: the shape rewritten in normalised form and the mode of its
// ITP line (-1 when there is none or it is not 0 .. 3).
struct LoadedShape {
    std::wstring shape;
    int interpolation = -1;
};

// The shape in `fileName`, parsed with the bundle's parser; nothing when the name is
// empty, the file is not a readable regular file or its shape is not valid.
std::optional<LoadedShape> loadShapeFile(const std::wstring& fileName);

// Replaces the file's content with `shape` in normalised form and, when `interpolation`
// lies in 0 .. 3, the ITP line. Nothing is touched when the name is empty or the shape
// is not valid. False when nothing was written or the file could not be written.
bool saveShapeFile(const std::wstring& fileName, const std::wstring& shape, int interpolation = -1);

// The full path the host's first-generation interface gives for `name`; `name` itself
// when it is empty, the host does not offer that interface or cannot resolve it.
std::wstring resolveShapeFileName(gmpi::IMpUserInterfaceHost2* host, const std::wstring& name);
