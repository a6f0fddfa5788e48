#include "copy_bytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <tuple>
#include <vector>

namespace {

// An anonymous in-memory file holding |bytes|.
int memory_file(const std::vector<unsigned char>& bytes) {
  int fd = memfd_create("copy_bytes_test", 0);
  EXPECT_GE(fd, 0);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    EXPECT_GT(n, 0);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return fd;
}

std::vector<unsigned char> contents(int fd) {
  off_t size = lseek(fd, 0, SEEK_END);
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  EXPECT_EQ(pread(fd, bytes.data(), bytes.size(), 0), size);
  return bytes;
}

// Bytes that differ from pass to pass, so a chunk written to the wrong
// place or twice shows.
std::vector<unsigned char> pattern(size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<unsigned char>(x >> 16);
  }
  return bytes;
}

struct BoundaryCase {
  uint64_t count;
  size_t source_size;
  size_t target_size;
  int64_t target_offset;
};

// Each case runs twice: in the kernel where it can, and through the buffer
// alone; both must leave the same bytes.
class CopyBoundaryTest
    : public testing::TestWithParam<std::tuple<BoundaryCase, bool>> {};

TEST_P(CopyBoundaryTest, TargetHoldsExactlyTheSourceBytes) {
  const auto& [c, buffer_only] = GetParam();
  std::vector<unsigned char> source = pattern(c.source_size, 1);
  std::vector<unsigned char> target = pattern(c.target_size, 2);
  int source_fd = memory_file(source);
  int target_fd = memory_file(target);

  CopyResult result =
      copy_bytes({source_fd, 0, target_fd, c.target_offset, c.count,
                  buffer_only});

  EXPECT_EQ(result.status, CopyStatus::kDone);
  EXPECT_EQ(result.copied, c.count);
  std::vector<unsigned char> expected = target;
  size_t end = static_cast<size_t>(c.target_offset) + c.count;
  if (expected.size() < end) expected.resize(end, 0);
  std::copy(source.begin(), source.begin() + static_cast<long>(c.count),
            expected.begin() + c.target_offset);
  EXPECT_EQ(contents(target_fd), expected);
  close(source_fd);
  close(target_fd);
}

constexpr uint64_t kPass = kCopyChunkMax;

INSTANTIATE_TEST_SUITE_P(
    Passes, CopyBoundaryTest,
    testing::Combine(testing::Values(
                    BoundaryCase{0, 10, 100, 5},
                    BoundaryCase{1, 10, 100, 5},
                    BoundaryCase{kPass, kPass, 100, 7},
                    BoundaryCase{kPass + 1, kPass + 1, 100, 7},
                    BoundaryCase{2 * kPass, 2 * kPass + 5, 300000, 3},
                    BoundaryCase{3 * kPass + 1, 3 * kPass + 1, 1000, 0},
                    BoundaryCase{3 * kPass + 1, 4 * kPass, 400000, 0x123},
                    BoundaryCase{1000, 2000, 10, 50},
                    BoundaryCase{4096, 8192, 4096, 4096 * 3}),
                     testing::Bool()));

TEST(CopyBytesTest, StopsWhenTheSourceEndsEarlyAndWritesOnlyWhatItRead) {
  std::vector<unsigned char> source = pattern(kPass + 10, 3);
  std::vector<unsigned char> target = pattern(5 * kPass, 4);
  int source_fd = memory_file(source);
  int target_fd = memory_file(target);

  CopyResult result = copy_bytes({source_fd, 0, target_fd, 100, 3 * kPass});

  EXPECT_EQ(result.status, CopyStatus::kSourceEnded);
  EXPECT_EQ(result.copied, source.size());
  std::vector<unsigned char> expected = target;
  std::copy(source.begin(), source.end(), expected.begin() + 100);
  EXPECT_EQ(contents(target_fd), expected);
  close(source_fd);
  close(target_fd);
}

TEST(CopyBytesTest, AFailedReadWritesNothing) {
  std::vector<unsigned char> target = pattern(1000, 5);
  int source_fd = open("/dev/null", O_WRONLY);  // cannot be read
  ASSERT_GE(source_fd, 0);
  int target_fd = memory_file(target);

  CopyResult result = copy_bytes({source_fd, 0, target_fd, 10, 100});

  EXPECT_EQ(result.status, CopyStatus::kReadFailed);
  EXPECT_EQ(result.error, EBADF);
  EXPECT_EQ(result.copied, 0u);
  EXPECT_EQ(contents(target_fd), target);
  close(source_fd);
  close(target_fd);
}

TEST(CopyBytesTest, AFailedWriteIsReportedWithItsError) {
  int source_fd = memory_file(pattern(2 * kPass, 6));
  int target_fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(target_fd, 0);

  CopyResult result = copy_bytes({source_fd, 0, target_fd, 0, 2 * kPass});

  EXPECT_EQ(result.status, CopyStatus::kWriteFailed);
  EXPECT_EQ(result.error, ENOSPC);
  EXPECT_EQ(result.copied, 0u);
  close(source_fd);
  close(target_fd);
}

TEST(CopyBytesTest, WithinOneFileTheTargetGetsTheSourceAsItWas) {
  struct Overlap {
    int64_t source_offset, target_offset;
    uint64_t count;
  };
  for (Overlap o : {Overlap{0, 1, 3 * kPass + 1}, Overlap{0, 100, 2 * kPass},
                    Overlap{10, kPass + 3, 2 * kPass + 7},
                    Overlap{kPass, 3, kPass + 2}}) {
    std::vector<unsigned char> before = pattern(4 * kPass, 7);
    int fd = memory_file(before);

    CopyResult result =
        copy_bytes({.source_fd = fd,
                    .source_offset = o.source_offset,
                    .target_fd = fd,
                    .target_offset = o.target_offset,
                    .count = o.count,
                    .same_file = true});

    EXPECT_EQ(result.status, CopyStatus::kDone);
    std::vector<unsigned char> expected = before;
    std::copy(before.begin() + o.source_offset,
              before.begin() + o.source_offset + static_cast<long>(o.count),
              expected.begin() + o.target_offset);
    EXPECT_EQ(contents(fd), expected) << o.source_offset << " -> "
                                      << o.target_offset;
    close(fd);
  }
}

}  // namespace
