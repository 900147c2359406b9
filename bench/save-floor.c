/* The durable rewrite floor: what any safe in-place edit of a file must at least do. Reads the file
   whole, writes it to a temporary file in the same folder, flushes that to disk, renames it over the
   original and flushes the folder. */
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what) { perror(what); return 1; }

int main(int argc, char** argv) {
  if (argc != 2) { fprintf(stderr, "usage: save-floor FILE\n"); return 2; }
  const char* path = argv[1];
  const int in = open(path, O_RDONLY);
  if (in < 0) return fail(path);
  struct stat st;
  if (fstat(in, &st) != 0) return fail("fstat");
  char* data = malloc((size_t)st.st_size + 1);
  if (!data) return fail("malloc");
  size_t have = 0;
  while (have < (size_t)st.st_size) {
    const ssize_t got = read(in, data + have, (size_t)st.st_size - have);
    if (got <= 0) return fail("read");
    have += (size_t)got;
  }
  close(in);
  char temp[4096];
  snprintf(temp, sizeof temp, "%s.floor-tmp", path);
  const int out = open(temp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return fail(temp);
  for (size_t done = 0; done < have;) {
    const ssize_t put = write(out, data + done, have - done);
    if (put <= 0) return fail("write");
    done += (size_t)put;
  }
  if (fsync(out) != 0) return fail("fsync");
  close(out);
  if (rename(temp, path) != 0) return fail("rename");
  char folder[4096];
  snprintf(folder, sizeof folder, "%s", path);
  const int dir = open(dirname(folder), O_RDONLY | O_DIRECTORY);
  if (dir < 0 || fsync(dir) != 0) return fail("fsync folder");
  close(dir);
  free(data);
  return 0;
}
