// The mode constant of the test's own run loop. Built without AddressSanitizer: the
// platform library defines the same global, and the sanitizer would report the
// deliberate replacement as a one-definition violation.
#include "platform/run_loop.h"

namespace {
const char ownCommonModes[] = "own common modes";
}

const CFStringRef kCFRunLoopCommonModes = reinterpret_cast<CFStringRef>(ownCommonModes);
