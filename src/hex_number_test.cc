#include "hex_number.h"

#include <gtest/gtest.h>

namespace {

struct HexCase {
  const char* text;
  HexReading reading;
  uint64_t value;  // what the target holds afterwards; it starts at 42
};

constexpr uint64_t kUntouched = 42;

const HexCase kCases[] = {
    {"100", HexReading::kValue, 0x100},
    {"0x100", HexReading::kValue, 0x100},
    {"0X100", HexReading::kValue, 0x100},
    {"100L", HexReading::kValue, 0x100},
    {"10zz", HexReading::kValue, 0x10},
    {"10 20", HexReading::kValue, 0x10},
    {"aBcDeF", HexReading::kValue, 0xABCDEF},
    {"  \t\n\v\f\r100", HexReading::kValue, 0x100},
    {"+100", HexReading::kValue, 0x100},
    {"+0x100", HexReading::kValue, 0x100},
    {"-0", HexReading::kValue, 0},
    {"-0x000", HexReading::kValue, 0},
    {"-1", HexReading::kBad, kUntouched},
    {"-0x10", HexReading::kBad, kUntouched},
    {"0x0x10", HexReading::kValue, 0},
    {"", HexReading::kNoDigits, kUntouched},
    {"zz", HexReading::kNoDigits, kUntouched},
    {"-", HexReading::kNoDigits, kUntouched},
    {"+", HexReading::kNoDigits, kUntouched},
    {"0x", HexReading::kNoDigits, kUntouched},
    {"-0x", HexReading::kNoDigits, kUntouched},
    {"0xg", HexReading::kNoDigits, kUntouched},
    {" - 5", HexReading::kNoDigits, kUntouched},
    {"L", HexReading::kNoDigits, kUntouched},
    {"100000000", HexReading::kValue, 0x100000000},
    {"7FFFFFFFFFFFFFFF", HexReading::kValue, 0x7FFFFFFFFFFFFFFF},
    {"8000000000000000", HexReading::kBad, kUntouched},
    {"FFFFFFFFFFFFFFFF", HexReading::kBad, kUntouched},
    {"10000000000000000", HexReading::kBad, kUntouched},
    {"00000000000000000000007FFFFFFFFFFFFFFF", HexReading::kValue,
     0x7FFFFFFFFFFFFFFF},
    {"000000000000000000001", HexReading::kValue, 1},
    {"0x00000000000000000000", HexReading::kValue, 0},
};

class HexReadingTest : public testing::TestWithParam<HexCase> {};

TEST_P(HexReadingTest, ReadsByTheRules) {
  const HexCase& c = GetParam();
  uint64_t value = kUntouched;
  EXPECT_EQ(read_hex(c.text, &value), c.reading) << '"' << c.text << '"';
  EXPECT_EQ(value, c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, HexReadingTest, testing::ValuesIn(kCases));

}  // namespace
