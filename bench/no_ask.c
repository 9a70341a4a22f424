/* Preloaded into the tool by the benchmark: every request to read ahead
   (posix_fadvise) is refused, so that a cold container is read in by the
   system's own read-ahead alone, as the tool takes a refusal to mean. */

#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>

static int refused(void) {
  return EINVAL;
}

int posix_fadvise(int fd, off_t offset, off_t len, int advice) {
  (void)fd, (void)offset, (void)len, (void)advice;
  return refused();
}

int posix_fadvise64(int fd, off64_t offset, off64_t len, int advice) {
  (void)fd, (void)offset, (void)len, (void)advice;
  return refused();
}
