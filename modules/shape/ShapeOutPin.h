// The text output of the modules that publish a shape string.
#pragma once

#include "ShapeString.h"
#include "mp_sdk_audio.h"

// Its value has room for the longest shape string from construction on, so publishing
// a changed shape from onSetPins never allocates on the audio thread.
class ShapeOutPin : public StringOutPin {
public:
    ShapeOutPin() { value.reserve(maxShapeTextLength); }
    using StringOutPin::operator=;
};
