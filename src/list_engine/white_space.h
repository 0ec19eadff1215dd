#pragma once

// The characters with the Unicode White_Space property; all lie in the BMP. Header-only, so that
// the loops over every unit of an entry inline it.
namespace List {

constexpr bool isWhiteSpace(char32_t c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace List
