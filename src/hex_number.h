// Reading of the hexadecimal positions and lengths on the command line.
#ifndef MIRABUND_HEX_NUMBER_H_
#define MIRABUND_HEX_NUMBER_H_

#include <cstdint>

/// What reading one hexadecimal argument found.
enum class HexReading {
  kNoDigits,  ///< No digit after the optional sign and prefix; keep the default.
  kValue,     ///< A value from 0 to 7FFFFFFFFFFFFFFF.
  kBad,       ///< Too large, or negative: the argument must be refused.
};

/// The largest byte count or position the command handles: the largest
/// file offset the system can represent.
constexpr uint64_t kMaxByteCount = 0x7FFFFFFFFFFFFFFF;

/// Reads a hexadecimal number from |text|: leading white space, an optional
/// sign, an optional 0x or 0X, then digits up to the first character that is
/// not one; the rest of the text is ignored.  On kValue, stores the value in
/// |*value|; otherwise leaves it untouched.  "-0" reads as 0.
HexReading read_hex(const char* text, uint64_t* value);

#endif  // MIRABUND_HEX_NUMBER_H_
