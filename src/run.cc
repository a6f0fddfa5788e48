#include "run.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "copy_bytes.h"
#include "hex_number.h"
#include "reservation.h"

namespace {

constexpr char kUsage[] =
    "Usage:mirabund mother_file inserted_file from_pos(HEX) [FileLen(HEX)]\n";

// The command line, by the names the usage text gives.
struct Arguments {
  const char* mother_file;
  const char* inserted_file;
  const char* from_pos;
  const char* file_len;  // nullptr when not given
};

// Opens the inserted file for reading and fills |st|.  A directory can be
// opened for reading but holds no bytes to insert, so it counts as a failed
// open.
int open_inserted(const char* path, struct stat* st) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || S_ISDIR(st->st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

// Size of the inserted file, or kUnmeasured for input that can only be
// read through (a pipe, a terminal, a character device such as
// /dev/zero, whose seek succeeds and says nothing).  Block devices are
// measured by seeking to their end, as their stat size is 0.  Returns -1
// with errno set on failure.
constexpr int64_t kUnmeasured = -2;

int64_t measure(int fd, const struct stat& st) {
  if (S_ISREG(st.st_mode)) return st.st_size;
  if (S_ISBLK(st.st_mode)) return lseek(fd, 0, SEEK_END);
  return kUnmeasured;
}

int fail_read(const char* path, int error) {
  printf("Can't read file %s: %s\n", path, strerror(error));
  return -1;
}

int fail_write(const char* path, int error) {
  printf("Can't write file %s: %s\n", path, strerror(error));
  return -1;
}

int fail_exceeds(const Arguments& args) {
  printf("FileLen %s exceeds size of file %s\n", args.file_len,
         args.inserted_file);
  return -1;
}

// Where the bytes go, once the arguments have been read and checked.
struct Range {
  int64_t start;
  uint64_t length;
  bool to_the_end;  // a stream without FileLen: copied until it ends
};

// Reads from_pos and FileLen and checks them against each other and the
// inserted file's |size| (kUnmeasured for a stream).  Prints the message
// and returns false when the range must be refused.
bool read_range(const Arguments& args, int64_t size, Range* range) {
  uint64_t position = 0;
  if (read_hex(args.from_pos, &position) == HexReading::kBad) {
    printf("Bad from_pos %s\n", args.from_pos);
    return false;
  }
  const bool stream = size == kUnmeasured;
  uint64_t length = stream ? 0 : static_cast<uint64_t>(size);
  HexReading file_len = HexReading::kNoDigits;
  if (args.file_len) file_len = read_hex(args.file_len, &length);
  if (file_len == HexReading::kBad) {
    printf("Bad FileLen %s\n", args.file_len);
    return false;
  }
  range->to_the_end = stream && file_len != HexReading::kValue;
  if (range->to_the_end) length = kMaxByteCount - position;
  if (length > kMaxByteCount - position) {
    printf("Bad from_pos %s\n", args.from_pos);
    return false;
  }
  if (!stream && length > static_cast<uint64_t>(size)) {
    fail_exceeds(args);
    return false;
  }
  range->start = static_cast<int64_t>(position);
  range->length = length;
  return true;
}

// Prints why a copy failed.  Returns the exit status.
int report_failure(const Arguments& args, const CopyResult& copy,
                   bool stream) {
  switch (copy.status) {
    case CopyStatus::kDone:
      return 0;
    case CopyStatus::kReadFailed:
      return fail_read(args.inserted_file, copy.error);
    case CopyStatus::kSourceEnded:
      // A stream cannot be measured before: its end comes out here.
      if (stream) return fail_exceeds(args);
      printf("Can't read file %s: Unexpected end of file\n",
             args.inserted_file);
      return -1;
    case CopyStatus::kWriteFailed:
      return fail_write(args.mother_file, copy.error);
  }
  return -1;
}

}  // namespace

int run(int argc, char* argv[]) {
  // A write past the file size limit must come back as an error to report,
  // not end the process by a signal with the file half written.
  signal(SIGXFSZ, SIG_IGN);

  if (argc < 4) {
    fputs(kUsage, stdout);
    return -1;
  }
  const Arguments args{argv[1], argv[2], argv[3], argc > 4 ? argv[4] : nullptr};

  // Neither created nor truncated: the mother file must exist, and every
  // byte outside the written range must stay.
  int mother = open(args.mother_file, O_RDWR | O_CLOEXEC);
  if (mother < 0) {
    printf("Can't open input file %s\n", args.mother_file);
    return -1;
  }
  struct stat inserted_status;
  int inserted = open_inserted(args.inserted_file, &inserted_status);
  if (inserted < 0) {
    printf("Can't open file %s\n", args.inserted_file);
    return -1;
  }

  int64_t size = measure(inserted, inserted_status);
  if (size == -1) return fail_read(args.inserted_file, errno);
  const bool stream = size == kUnmeasured;

  // Every check comes before the first byte is written, so a refused run
  // leaves the mother file exactly as it was.
  Range range;
  if (!read_range(args, size, &range)) return -1;
  struct stat mother_status;
  if (fstat(mother, &mother_status) != 0) {
    return fail_write(args.mother_file, errno);
  }
  // A stream's length is not known before it ends: nothing to reserve.
  const int64_t reserved =
      range.to_the_end ? 0 : static_cast<int64_t>(range.length);
  if (int error =
          reserve_range(mother, mother_status, range.start, reserved)) {
    return fail_write(args.mother_file, error);
  }

  const bool same_file = inserted_status.st_dev == mother_status.st_dev &&
                         inserted_status.st_ino == mother_status.st_ino;
  CopyResult copy = copy_bytes({.source_fd = inserted,
                                .source_offset = stream ? kSequential : 0,
                                .target_fd = mother,
                                .target_offset = range.start,
                                .count = range.length,
                                .same_file = same_file});
  if (copy.status == CopyStatus::kSourceEnded && range.to_the_end) {
    copy.status = CopyStatus::kDone;
  }
  if (copy.status != CopyStatus::kDone) {
    give_back_growth(mother, mother_status.st_size, range.start + reserved);
    return report_failure(args, copy, stream);
  }

  close(inserted);
  if (close(mother) != 0) return fail_write(args.mother_file, errno);
  return 0;
}
