// The identifiers under which form descriptions store colours (clBtnFace, clWindowText, ...)
// and font character sets (DEFAULT_CHARSET, ...). Both are integer-like: any number is
// accepted, and these values are written by name.
#pragma once

#include "framework/rtti.hpp"

#include <cstdint>

namespace fw {

using TFontCharset = std::uint8_t;
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SYMBOL_CHARSET = 2;
inline constexpr TFontCharset OEM_CHARSET = 255;

const TEnumInfo& ColorIdents();
const TEnumInfo& CharsetIdents();

} // namespace fw
