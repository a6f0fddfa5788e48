#include "reservation.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The file size limit counts for the range's end, whether or not the file
// grows, and the kernel checks it only once a write reaches it.
bool within_size_limit(int64_t end) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return true;
  return limit.rlim_cur == RLIM_INFINITY ||
         static_cast<uint64_t>(end) <= limit.rlim_cur;
}

// Frees blocks reserved past the file's end.  Past the end there are no
// bytes to lose, and the size stays as it is.
void free_tail(int fd, int64_t size, int64_t end) {
  if (end > size) {
    fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, size,
              end - size);
  }
}

}  // namespace

int reserve_range(int fd, const struct stat& st, int64_t offset,
                  int64_t length) {
  if (length == 0) return 0;
  const int64_t end = offset + length;

  if (S_ISBLK(st.st_mode)) {
    // A device does not grow: a range past its end would be cut short.
    off_t device_size = lseek(fd, 0, SEEK_END);
    if (device_size >= 0 && end > device_size) return ENOSPC;
    return 0;
  }
  if (!S_ISREG(st.st_mode)) return 0;

  if (!within_size_limit(end)) return EFBIG;

  // The kernel checks the filesystem's largest file here even where it
  // cannot allocate; the blocks are only a promise where it can.
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, length) == 0) return 0;
  const int error = errno;
  if (error == EOPNOTSUPP || error == ENOSYS) return 0;
  // A filesystem that ran out of space part way may have kept some blocks.
  free_tail(fd, st.st_size, end);
  return error;
}

void give_back_growth(int fd, int64_t old_size, int64_t end) {
  // Best effort: the copy has already failed, and that is what gets
  // reported.
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (st.st_size != old_size && ftruncate(fd, old_size) != 0) return;
  free_tail(fd, old_size, end);
}
