/* The read floor: what any reader of these files must at least do. Opens each file named on the
   command line and reads its first 64 KiB, the part that holds a photo's metadata. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static char buffer[1 << 16];
  long long total = 0;
  for (int i = 1; i < argc; ++i) {
    const int fd = open(argv[i], O_RDONLY);
    if (fd < 0) { perror(argv[i]); return 1; }
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) total += got;
    close(fd);
  }
  printf("%lld bytes\n", total);
  return 0;
}
