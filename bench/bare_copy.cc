// The limit the command is measured against: a bare copy_file_range loop
// with no checks, no reservation and no fallback.
//   bare_copy SOURCE TARGET TARGET_OFFSET_DECIMAL

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  if (argc != 4) {
    fputs("usage: bare_copy SOURCE TARGET TARGET_OFFSET\n", stderr);
    return 2;
  }
  int source = open(argv[1], O_RDONLY);
  int target = open(argv[2], O_WRONLY);
  if (source < 0 || target < 0) {
    perror("open");
    return 1;
  }
  loff_t target_at = strtoll(argv[3], nullptr, 10);
  loff_t source_at = 0;
  for (;;) {
    ssize_t n = copy_file_range(source, &source_at, target, &target_at,
                                size_t{1} << 30, 0);
    if (n < 0) {
      perror("copy_file_range");
      return 1;
    }
    if (n == 0) return 0;
  }
}
