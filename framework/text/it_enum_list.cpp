#include "it_enum_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>

namespace {

int clampToInt(std::int64_t value)
{
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

}  // namespace

int enum_entry::getType() const
{
    if (text.size() < 4 || text[1] != text[0] || text[2] != text[0] || text[3] != text[0])
        return 0;
    switch (text[0]) {
    case L'-': return 1;
    case L'|': return 2;
    case L'>': return 3;
    case L'<': return 4;
    default: return 0;
    }
}

it_enum_list::it_enum_list(const std::wstring& listText) : list(listText)
{
    isRange = list.compare(0, 5, L"range") == 0;
    if (isRange) {
        // "range lo,hi": numbers read with wcstol, anything else ignored.
        const wchar_t* p = list.c_str() + 5;
        wchar_t* end = nullptr;
        rangeLo = std::wcstoll(p, &end, 10);
        p = end;
        while (*p && *p != L',')
            ++p;
        rangeHi = *p ? std::wcstoll(p + 1, nullptr, 10) : rangeLo;
        rangeLo = clampToInt(rangeLo);
        rangeHi = clampToInt(rangeHi);
    }
    First();
}

int it_enum_list::StringToInt(const std::wstring& s, int base)
{
    if (base != 0 && (base < 2 || base > 36))
        return 0;
    return clampToInt(std::wcstoll(s.c_str(), nullptr, base));
}

int it_enum_list::size() const
{
    if (isRange) {
        const std::int64_t span = rangeHi > rangeLo ? rangeHi - rangeLo : rangeLo - rangeHi;
        return clampToInt(span + 1);
    }
    if (list.empty())
        return 0;
    int commas = 0;
    for (std::size_t i = 1; i < list.size(); ++i)
        commas += list[i] == L',';
    return commas + 1;
}

void it_enum_list::First()
{
    current = enum_entry{};
    if (isRange) {
        current.index = 0;
        setRangeEntry();
        return;
    }
    position = 0;
    atListEnd = list.empty();
    if (atListEnd)
        return;
    current.value = -1;  // the first item without "=" takes 0
    readListItem();
}

void it_enum_list::Next()
{
    if (current.index < 0)
        return;
    if (isRange) {
        if (std::int64_t{current.index} + 1 >= size()) {
            current.index = -1;
            return;
        }
        ++current.index;
        setRangeEntry();
        return;
    }
    if (atListEnd) {
        current.index = -1;
        return;
    }
    readListItem();
}

void it_enum_list::setRangeEntry()
{
    const std::int64_t step = rangeHi >= rangeLo ? 1 : -1;
    current.value = clampToInt(rangeLo + step * current.index);
    current.text = std::to_wstring(current.value);
}

void it_enum_list::readListItem()
{
    const std::size_t comma = list.find(L',', position);
    const std::size_t end = comma == std::wstring::npos ? list.size() : comma;
    std::wstring item = list.substr(position, end - position);
    atListEnd = comma == std::wstring::npos;
    position = atListEnd ? list.size() : comma + 1;

    const std::size_t equals = item.rfind(L'=');
    if (equals != std::wstring::npos) {
        current.value = clampToInt(std::wcstoll(item.c_str() + equals + 1, nullptr, 10));
        item.resize(equals);
    } else {
        current.value = current.value == INT_MAX ? INT_MAX : current.value + 1;
    }
    current.text = std::move(item);
    ++current.index;
}

bool it_enum_list::FindValue(int value)
{
    if (isRange) {  // computed: a range may hold billions of entries
        if (value < std::min(rangeLo, rangeHi) || value > std::max(rangeLo, rangeHi))
            return false;
        const std::int64_t distance = value > rangeLo ? value - rangeLo : rangeLo - value;
        if (distance >= size())
            return false;
        current.index = static_cast<int>(distance);
        setRangeEntry();
        return true;
    }
    for (First(); !IsDone(); Next())
        if (current.getType() == 0 && current.value == value)
            return true;
    return false;
}

bool it_enum_list::FindIndex(int index)
{
    if (isRange) {
        if (index < 0 || index >= size())
            return false;
        current.index = index;
        setRangeEntry();
        return true;
    }
    for (First(); !IsDone(); Next())
        if (current.getType() == 0 && current.index == index)
            return true;
    return false;
}

bool it_enum_list::IsValidValue(const std::wstring& list, int value)
{
    it_enum_list it(list);
    return it.FindValue(value);
}

int it_enum_list::ForceValidValue(const std::wstring& list, int value)
{
    it_enum_list it(list);
    if (it.FindValue(value))
        return value;
    it.First();
    return it.IsDone() ? 0 : it.CurrentItem()->value;
}
