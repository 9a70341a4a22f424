/* Preloaded into the tool by the benchmark: every mapping of a file is
   refused, so that the tool reads a regular file through its buffer, the
   path that pipes, disks and every file on Windows take. Anonymous
   mappings (the C library's own) are made as ever. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/types.h>

static void* refused_or_made(const char* symbol, void* addr, size_t length, int prot, int flags,
                             int fd, off64_t offset) {
  void* (*real)(void*, size_t, int, int, int, off64_t) =
      (void* (*)(void*, size_t, int, int, int, off64_t))dlsym(RTLD_NEXT, symbol);
  if (fd >= 0 || real == NULL) {
    errno = ENODEV;
    return MAP_FAILED;
  }
  return real(addr, length, prot, flags, fd, offset);
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset) {
  return refused_or_made("mmap64", addr, length, prot, flags, fd, offset);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  return refused_or_made("mmap", addr, length, prot, flags, fd, offset);
}
