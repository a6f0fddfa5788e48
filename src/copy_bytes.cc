#include "copy_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include <unistd.h>

namespace {

// Reads exactly |size| bytes unless the source ends or fails first; a
// single read may deliver less than asked, and that alone is no failure.
// Never asks for more than |size|, so a stream keeps what is not copied.
CopyStatus read_fully(int fd, int64_t offset, unsigned char* buffer,
                      size_t size, size_t* got, int* error) {
  *got = 0;
  while (*got < size) {
    ssize_t n = offset == kSequential
                    ? read(fd, buffer + *got, size - *got)
                    : pread(fd, buffer + *got, size - *got,
                            static_cast<off_t>(offset) +
                                static_cast<off_t>(*got));
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return CopyStatus::kReadFailed;
    }
    if (n == 0) return CopyStatus::kSourceEnded;
    *got += static_cast<size_t>(n);
  }
  return CopyStatus::kDone;
}

// Writes all |size| bytes.  A short write is retried so that the call
// which cannot go on reports why (no space, file too large).
CopyStatus write_fully(int fd, int64_t offset, const unsigned char* buffer,
                       size_t size, int* error) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd, buffer + done, size - done,
                       static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return CopyStatus::kWriteFailed;
    }
    if (n == 0) {  // took nothing and named no reason: no room left
      *error = ENOSPC;
      return CopyStatus::kWriteFailed;
    }
    done += static_cast<size_t>(n);
  }
  return CopyStatus::kDone;
}

// True when the target range starts inside the source range of the same
// file: a forward copy would then read bytes it has just written.
bool overlaps_forward(const CopyRange& range) {
  return range.same_file && range.source_offset != kSequential &&
         range.target_offset > range.source_offset &&
         static_cast<uint64_t>(range.target_offset - range.source_offset) <
             range.count;
}

// The most the kernel is asked to move in one call: large enough that a
// shared-extent copy of a big range is one call, small enough to stay well
// inside what one call may move.
constexpr uint64_t kKernelChunkMax = uint64_t{1} << 30;

// Copies as much of |range| as the kernel will, adding to |result->copied|.
// Any refusal or failure ends it quietly: the buffered copy then goes on
// from the same byte, and meets and reports a real failure itself.
void copy_in_kernel(const CopyRange& range, CopyResult* result) {
  while (result->copied < range.count) {
    uint64_t remaining = range.count - result->copied;
    loff_t source_at = range.source_offset +
                       static_cast<loff_t>(result->copied);
    loff_t target_at = range.target_offset +
                       static_cast<loff_t>(result->copied);
    ssize_t n = copy_file_range(
        range.source_fd, &source_at, range.target_fd, &target_at,
        static_cast<size_t>(std::min(remaining, kKernelChunkMax)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    result->copied += static_cast<uint64_t>(n);
  }
}

}  // namespace

CopyResult copy_bytes(const CopyRange& range) {
  CopyResult result{CopyStatus::kDone, 0, 0};
  // Moving the last chunk first, as memmove does, writes every byte only
  // after it has been read: the target gets the source as it was.  The
  // kernel refuses overlapping ranges in one file, so that stays here.
  const bool backward = overlaps_forward(range);
  // A copy that fits the buffer is one read and one write; the kernel's
  // copy would cost more to set up than it saves.
  if (!backward && !range.buffer_only && range.source_offset != kSequential &&
      range.count >= kCopyBufferSize) {
    copy_in_kernel(range, &result);
  }

  unsigned char buffer[kCopyBufferSize];
  while (result.copied < range.count) {
    uint64_t remaining = range.count - result.copied;
    size_t chunk = remaining < kCopyChunkMax ? static_cast<size_t>(remaining)
                                             : kCopyChunkMax;
    int64_t at = static_cast<int64_t>(backward ? remaining - chunk
                                               : result.copied);
    size_t got = 0;
    int64_t read_at = range.source_offset == kSequential
                          ? kSequential
                          : range.source_offset + at;
    CopyStatus read = read_fully(range.source_fd, read_at, buffer, chunk,
                                 &got, &result.error);
    // Whatever was read before the source stopped is still written, so the
    // target holds exactly the bytes the source gave.  Going backward a
    // partial chunk would land in the wrong place, so it is dropped.
    if (got > 0 && (read == CopyStatus::kDone || !backward)) {
      CopyStatus wrote = write_fully(range.target_fd,
                                     range.target_offset + at, buffer, got,
                                     &result.error);
      if (wrote != CopyStatus::kDone) {
        result.status = wrote;
        return result;
      }
      result.copied += got;
    }
    if (read != CopyStatus::kDone) {
      result.status = read;
      return result;
    }
  }
  return result;
}
