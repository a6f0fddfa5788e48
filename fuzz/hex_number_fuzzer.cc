// Checks read_hex against a second, plainly written reading of the same
// rules: strip the blanks, sign and prefix by hand, let strtoull build the
// value from the digits alone, and judge the range on the digit count.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hex_number.h"

namespace {

HexReading reference(const std::string& text, uint64_t* value) {
  size_t i = text.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string::npos) return HexReading::kNoDigits;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) i += 2;
  size_t end = text.find_first_not_of("0123456789abcdefABCDEF", i);
  std::string digits = text.substr(i, end == std::string::npos ? end : end - i);
  if (digits.empty()) return HexReading::kNoDigits;

  std::string significant = digits.substr(
      std::min(digits.find_first_not_of('0'), digits.size()));
  if (significant.size() > 16) return HexReading::kBad;
  uint64_t v = significant.empty() ? 0 : strtoull(significant.c_str(), nullptr, 16);
  if (v > 0x7FFFFFFFFFFFFFFFull) return HexReading::kBad;
  if (negative && v != 0) return HexReading::kBad;
  *value = v;
  return HexReading::kValue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The command sees C strings: the argument ends at the first NUL.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();

  uint64_t got = 7, want = 7;
  HexReading reading = read_hex(text.c_str(), &got);
  HexReading expected = reference(text, &want);
  if (reading != expected || got != want) abort();
  return 0;
}
