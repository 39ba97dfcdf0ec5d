// Decoding of SQLGetInfo answers into the texts a report shows.
#include <cstdio>
#include <cstring>

#include "info_table.h"
#include "zvunicode.h"

std::string decode_flags(unsigned long value, std::span<const InfoName> names) {
    if (value == 0) return "(none)";
    std::string out;
    unsigned long rest = value;
    for (const InfoName& n : names) {
        if ((value & n.value) != n.value) continue;
        if (!out.empty()) out += '|';
        out += n.name;
        rest &= ~n.value;
    }
    if (rest != 0) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lX", rest);
        if (!out.empty()) out += '|';
        out += hex;
    }
    return out;
}

std::string decode_enum(unsigned long value, std::span<const InfoName> names) {
    for (const InfoName& n : names)
        if (n.value == value) return n.name;
    return std::to_string(value);
}

std::string decode_info(const InfoType& type, const void* buf, size_t bufBytes, long lengthBytes) {
    auto read = [&](auto v) {
        if (bufBytes >= sizeof v) std::memcpy(&v, buf, sizeof v);
        return static_cast<unsigned long>(v);
    };
    switch (type.kind) {
    case InfoKind::Str: {
        size_t bytes = lengthBytes < 0 ? 0 : static_cast<size_t>(lengthBytes);
        if (bytes > bufBytes) bytes = bufBytes;
        std::u16string units(bytes / sizeof(char16_t), u'\0');
        std::memcpy(units.data(), buf, units.size() * sizeof(char16_t));
        // A driver that counts the terminator in the length leaves it here.
        while (!units.empty() && units.back() == u'\0') units.pop_back();
        return utf8_of_utf16(units);
    }
    case InfoKind::U16: return std::to_string(read(SQLUSMALLINT{}));
    case InfoKind::U32: return std::to_string(read(SQLUINTEGER{}));
    case InfoKind::Mask: return decode_flags(read(SQLUINTEGER{}), type.names);
    case InfoKind::Enum16: return decode_enum(read(SQLUSMALLINT{}), type.names);
    case InfoKind::Enum32: return decode_enum(read(SQLUINTEGER{}), type.names);
    }
    return "";
}

const InfoType* info_type_by_name(const std::string& name) {
    for (size_t i = 0; i < kInfoTypeCount; ++i)
        if (name == kInfoTypes[i].name) return &kInfoTypes[i];
    return nullptr;
}
