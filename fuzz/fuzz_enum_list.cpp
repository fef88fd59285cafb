// Enumeration lists: iteration, size, lookups and validation are total on any text;
// every value iterated is found again by FindValue.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "it_enum_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    int probe;
    std::memcpy(&probe, data, sizeof probe);
    std::wstring list;
    for (std::size_t i = 4; i < size; ++i)
        list += static_cast<wchar_t>(data[i]);  // bytes as characters: ',', '=', digits, "range"
    it_enum_list it(list);
    const int size_ = it.size();
    int walked = 0;
    for (it.First(); !it.IsDone() && walked < 2000; it.Next()) {
        const enum_entry entry = *it.CurrentItem();
        if (entry.index != walked)
            std::abort();
        ++walked;
        entry.getType();
        if (entry.getType() == 0 && !it_enum_list::IsValidValue(list, entry.value))
            std::abort();
        // size() counts the commas after the first character: a leading comma's empty
        // item is the one entry it may miss.
        if (walked > std::int64_t{size_} + 1)
            std::abort();
    }
    it.FindIndex(probe);
    it.FindValue(probe);
    const int forced = it_enum_list::ForceValidValue(list, probe);
    if (it_enum_list::IsValidValue(list, probe) && forced != probe)
        std::abort();
    it_enum_list::StringToInt(list, probe & 63);
    return 0;
}
