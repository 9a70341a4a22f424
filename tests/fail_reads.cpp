// Preloaded into the tool by end-to-end tests to make reading a regular
// container fail part way: pread fails with EIO from offset QVZ2PNG_FAIL_AT
// on, and with QVZ2PNG_FAIL_POPULATE=1 no mapped window can have its pages
// read in, so that the tool falls back to reading with pread (with 2, every
// second window).

// The shim defines pread and pread64 each under its own name, which the
// 64-bit offset renaming of the headers would merge into one.
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

unsigned long long fail_at() {
  const char* value = std::getenv("QVZ2PNG_FAIL_AT");
  return value ? std::strtoull(value, nullptr, 10) : ~0ULL;
}

// How much of a read at offset may be delivered: -1 when it must fail.
ssize_t allowed(unsigned long long offset, size_t count) {
  unsigned long long limit = fail_at();
  if (offset >= limit) {
    errno = EIO;
    return -1;
  }
  return static_cast<ssize_t>(limit - offset < count ? limit - offset : count);
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  static auto real = next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  ssize_t n = allowed(static_cast<unsigned long long>(offset), count);
  return n > 0 ? real(fd, buf, static_cast<size_t>(n), offset) : n;
}

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off_t offset) {
  return pread(fd, buf, count, offset);
}

extern "C" int madvise(void* addr, size_t length, int advice) {
  static auto real = next<int (*)(void*, size_t, int)>("madvise");
  static unsigned calls = 0;
  const char* fail = std::getenv("QVZ2PNG_FAIL_POPULATE");
  if (fail && (fail[0] == '1' || (fail[0] == '2' && calls++ % 2 == 1))) {
    errno = EFAULT;
    return -1;
  }
  return real(addr, length, advice);
}
