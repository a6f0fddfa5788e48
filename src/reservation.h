// Making sure a range of the mother file can be written before the first
// byte is, and giving back what a failed copy added.
#ifndef MIRABUND_RESERVATION_H_
#define MIRABUND_RESERVATION_H_

#include <cstdint>

#include <sys/stat.h>

/// Makes sure |length| bytes can be written to |fd| at |offset|: the end
/// must lie within the file size limit and the filesystem's largest file
/// (or the device's size), and the blocks the range needs are allocated
/// without changing the file's size.  |st| is the file's status before the
/// run.  Returns 0, or the errno that writing the range would meet.
int reserve_range(int fd, const struct stat& st, int64_t offset,
                  int64_t length);

/// After a failed copy into the regular file |fd|, whose size was
/// |old_size|: sets the size back and frees the blocks reserved past it,
/// up to |end|.
void give_back_growth(int fd, int64_t old_size, int64_t end);

#endif  // MIRABUND_RESERVATION_H_
