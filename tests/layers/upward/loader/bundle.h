// A loader header that reaches up into the engine: the layer check must refuse it.
#pragma once

#include "engine/patch.h"
