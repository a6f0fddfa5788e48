#include "hex_number.h"

namespace {

// The C locale's white space, spelled out so the reading cannot depend on
// the locale the command happens to run in.
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// The value of a hexadecimal digit, or -1 for any other character.
int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

HexReading read_hex(const char* text, uint64_t* value) {
  const char* p = text;
  while (is_blank(*p)) ++p;

  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;

  if (digit_value(*p) < 0) return HexReading::kNoDigits;

  // Building in 64 bits and refusing anything that does not fit keeps a
  // mistyped position from wrapping around to a small one.
  uint64_t result = 0;
  for (int digit; (digit = digit_value(*p)) >= 0; ++p) {
    if (result > (kMaxByteCount >> 4)) return HexReading::kBad;
    result = (result << 4) | static_cast<uint64_t>(digit);
  }
  if (negative && result != 0) return HexReading::kBad;

  *value = result;
  return HexReading::kValue;
}
