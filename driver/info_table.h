// The tables a report walks: SQLGetInfo types with how their answers decode,
// and SQLGetFunctions ids. Pure data and pure decoding, no ODBC calls.
#pragma once

#include <sql.h>

#include <cstddef>
#include <span>
#include <string>

enum class InfoKind { Str, U16, U32, Mask, Enum16, Enum32 };

struct InfoName {
    unsigned long value;
    const char* name;
};

struct InfoType {
    SQLUSMALLINT id;
    const char* name;
    InfoKind kind;
    std::span<const InfoName> names;  // flags of a mask, values of an enum
};

extern const InfoType kInfoTypes[];
extern const size_t kInfoTypeCount;
extern const InfoName kFunctionIds[];
extern const size_t kFunctionIdCount;

// The names of the flags set in value, "|"-joined, bits without a name as one
// hexadecimal rest; "(none)" for 0.
std::string decode_flags(unsigned long value, std::span<const InfoName> names);
// The name of value, or the number itself when it has none.
std::string decode_enum(unsigned long value, std::span<const InfoName> names);
// The text of one SQLGetInfoW answer: buf holds bufBytes bytes of which the
// driver said it wrote lengthBytes (strings are UTF-16; a length past the
// buffer is cut to it).
std::string decode_info(const InfoType& type, const void* buf, size_t bufBytes, long lengthBytes);
const InfoType* info_type_by_name(const std::string& name);
