// Iteration over enumeration-list texts: the texts that describe a pin's choices.
//
//   List form:  "Off,Low=10,High"  entries (index 0, "Off", 0), (1, "Low", 10), (2, "High", 11).
//               An item without "=number" takes the previous value plus 1 (the first 0).
//   Range form: "range 0,9"        entries with the values 0 to 9 and their decimal text.
//
//   it_enum_list it(list);
//   for (it.First(); !it.IsDone(); it.Next()) use(it.CurrentItem()->value);
//
// Total on any text: malformed numbers read as far as they are numbers (0 without digits).
#pragma once

#include <cstdint>
#include <string>

struct enum_entry {
    int index = -1;  // position in the list from 0; -1 when the iterator is past the end
    int value = 0;
    std::wstring text;

    // 0 for an ordinary entry; menu structure marks, texts starting with four equal
    // characters: "----" 1 (separator), "||||" 2, ">>>>" 3, "<<<<" 4.
    int getType() const;
};

class it_enum_list {
public:
    explicit it_enum_list(const std::wstring& list);

    // Positions on the first entry (index -1 when the list is empty).
    void First();
    // Moves to the next entry; past the last one the index becomes -1.
    void Next();
    bool IsDone() const { return current.index < 0; }
    enum_entry* CurrentItem() { return &current; }

    // Number of entries: list form, the commas after the first character plus 1 (0 for an
    // empty list); range form, |hi - lo| + 1 (clamped to the int range).
    int size() const;
    bool IsRange() const { return isRange; }

    // Walk from the first entry to the first ordinary entry (type 0) with this value /
    // index; true when found (the iterator then stands on it).
    bool FindValue(int value);
    bool FindIndex(int index);

    static bool IsValidValue(const std::wstring& list, int value);
    // `value` when the list holds it, otherwise the first entry's value (0 for an empty list).
    static int ForceValidValue(const std::wstring& list, int value);
    // wcstol with `base`, clamped to the int range; 0 without digits.
    static int StringToInt(const std::wstring& s, int base = 10);

private:
    void readListItem();
    void setRangeEntry();

    std::wstring list;
    bool isRange = false;
    std::int64_t rangeLo = 0;
    std::int64_t rangeHi = 0;
    std::size_t position = 0;  // list form: start of the next item
    bool atListEnd = false;    // list form: the last item has been read
    enum_entry current;
};
