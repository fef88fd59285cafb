// A services file naming a host header without its folder: refused as well.
#include "bundle.h"
