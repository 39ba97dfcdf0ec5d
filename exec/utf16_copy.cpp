// UTF-16 copies of wide text for the driver manager's wide calls.
#include "isqlexec.h"

// Fills copy with the UTF-16 form of src, terminator included (characters
// above U+FFFF as pairs where values are exact), and dumps it
// under "UTF16" in hexadecimal display mode. Returns the units in the copy
// (terminator included); 0, leaving copy untouched, for a null source.
int isql_util_wcstoutf16(const wchar_t* src, std::vector<zvutf16>& copy) {
    if (src == nullptr) return 0;
    int units = 0;
    if (isql_exact_values()) {
        // A character above U+FFFF goes as its surrogate pair.
        const std::u16string pairs = utf16_of_wide(src);
        units = static_cast<int>(pairs.size()) + 1;
        copy.assign(pairs.begin(), pairs.end());
        copy.push_back(0);
    } else {
        units = wcstoutf16(src, SQL_NTS, nullptr, 0);
        copy.assign(static_cast<size_t>(units), 0);
        wcstoutf16(src, SQL_NTS, copy.data(), units);
    }
    if (gHexDisplay) isql_HexDumpQuery(copy.data(), 2L * units, "UTF16");
    return units;
}
