// The block copy: moves a range of bytes from one file to a place in another.
#ifndef MIRABUND_COPY_BYTES_H_
#define MIRABUND_COPY_BYTES_H_

#include <cstdint>

/// Size of the working buffer.  A pass moves at most one byte less.
constexpr int kCopyBufferSize = 0x10000;
constexpr int kCopyChunkMax = kCopyBufferSize - 1;

/// A source offset that reads the source from where it stands, for input
/// that cannot be positioned (a pipe, a terminal, a character device).
constexpr int64_t kSequential = -1;

/// What to copy: |count| bytes from |source_fd| at |source_offset| to
/// |target_fd| at |target_offset|.  Offsets are explicit so that neither
/// descriptor's own position matters.
struct CopyRange {
  int source_fd;
  int64_t source_offset;
  int target_fd;
  int64_t target_offset;
  uint64_t count;
  /// Skip the in-kernel copy and move every byte through the buffer, as
  /// happens anyway where the kernel refuses.
  bool buffer_only = false;
  /// Source and target are one file (the same device and inode): the
  /// target then gets the source range as it was, whatever the overlap.
  bool same_file = false;
};

/// How a copy ended.
enum class CopyStatus {
  kDone,          ///< Every byte was copied.
  kReadFailed,    ///< Reading the source failed; |error| holds errno.
  kSourceEnded,   ///< The source ended before |count| bytes.
  kWriteFailed,   ///< Writing the target failed; |error| holds errno.
};

struct CopyResult {
  CopyStatus status;
  int error;        ///< errno of the failed call, 0 otherwise.
  uint64_t copied;  ///< Bytes written to the target, all of them read first.
};

/// Copies |range|: in the kernel where it can (copy_file_range, which shares
/// extents or copies without the bytes crossing into the process), through
/// a fixed buffer from wherever the kernel stopped.  Stops at the first failure
/// without writing any byte that was not read.
CopyResult copy_bytes(const CopyRange& range);

#endif  // MIRABUND_COPY_BYTES_H_
