// Expressions: any text gives a result or one of the documented error codes, with the
// result 0 on error, and the variable table stays usable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Evaluator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Evaluator evaluator;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // up to the first NUL, as a C string
    double result = 1;
    int assigned = -1;
    const int code = evaluator.Evaluate(text.c_str(), result, assigned);
    if (code < 0 || code > Evaluator::errorTokenTooLong)
        std::abort();
    if (code != 0 && (result != 0 || assigned != 0))
        std::abort();
    if (assigned != 0 && assigned != 1)
        std::abort();
    if (code != 0 && code != Evaluator::lastErrorCode())
        std::abort();
    // Keep the table from filling up for good, so assignments stay reachable.
    if (size > 0 && data[0] == '!')
        evaluator.ClearAllVars();
    return 0;
}
