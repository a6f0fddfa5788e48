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

// Allocates blocks for a stretch without changing the file's size.  The
// kernel checks the filesystem's largest file here even where it cannot
// allocate; where it cannot, there is nothing more to promise.
int allocate(int fd, int64_t offset, int64_t length) {
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, offset, length) == 0) return 0;
  return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
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

  // Only stretches without data can need new blocks: bytes the file already
  // holds are overwritten in place.  Some filesystems (XFS) count the whole
  // length of a request against the free space, so asking for the holes
  // alone also keeps an overwrite working on a full disk.  Where holes
  // cannot be found, the whole range is asked for.
  int64_t at = offset;
  while (at < end) {
    int64_t hole = at < st.st_size ? lseek(fd, at, SEEK_HOLE) : at;
    if (hole < 0) hole = at;
    if (hole >= end) break;
    int64_t data = hole < st.st_size ? lseek(fd, hole, SEEK_DATA) : end;
    if (data < 0 || data > end) data = end;  // ENXIO: no data after the hole
    if (data == hole) data = end;            // no answer: reserve the rest
    if (int error = allocate(fd, hole, data - hole)) {
      // A filesystem that ran out of space part way may have kept blocks.
      free_tail(fd, st.st_size, end);
      return error;
    }
    at = data;
  }
  return 0;
}

void give_back_growth(int fd, int64_t old_size, int64_t end) {
  // Best effort: the copy has already failed, and that is what gets
  // reported.
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (st.st_size != old_size && ftruncate(fd, old_size) != 0) return;
  free_tail(fd, old_size, end);
}
