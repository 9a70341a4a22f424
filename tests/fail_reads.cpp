// Preloaded into the tool by end-to-end tests to make reading a regular
// container fail as a damaged disk does: the 4 KiB page that holds offset
// QVZ2PNG_BAD_PAGE cannot be read, so every pread that overlaps it fails
// with EIO, and so does reading in a mapped window that covers it. With
// QVZ2PNG_FAIL_POPULATE=1 no mapped window can have its pages read in, so
// that the tool falls back to reading with pread (with 2, every second
// window). With QVZ2PNG_SLOW_READS, every pread and every window read in
// first waits that many milliseconds for every 4 MiB it reads, as on a slow
// disk, which takes as long however a stretch is read. With
// QVZ2PNG_COLD=1 no page of the container is said to be in memory, as on a
// container not read since boot; with QVZ2PNG_LIE=1 whether a page is in
// memory is answered the wrong way, both ways; with QVZ2PNG_REFUSE_ADVICE=1
// every request to read ahead is refused.

// The shim defines pread and pread64, mmap and mmap64 each under its own
// name, which the 64-bit offset renaming of the headers would merge.
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr unsigned long long page = 4096;

// The bad page's first offset; none when the variable is not set.
unsigned long long bad_page() {
  const char* value = std::getenv("QVZ2PNG_BAD_PAGE");
  return value ? std::strtoull(value, nullptr, 10) / page * page : ~0ULL;
}

bool overlaps_bad_page(unsigned long long offset, unsigned long long count) {
  const unsigned long long bad = bad_page();
  return count > 0 && offset < bad + page && bad < offset + count;
}

void wait_as_a_slow_disk(size_t bytes) {
  const char* value = std::getenv("QVZ2PNG_SLOW_READS");
  const long long us =
      value ? std::strtoll(value, nullptr, 10) * 1000 * static_cast<long long>(bytes) / (4 << 20)
            : 0;
  const timespec wait = {static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
  while (us > 0 && nanosleep(&wait, nullptr) != 0) {
  }
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The file offset of the last mapping made, to tell which pages a
// madvise on it would read in.
void* mapped_at = nullptr;
unsigned long long mapped_offset = 0;

}  // namespace

extern "C" ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
  static auto real = next<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
  wait_as_a_slow_disk(count);
  if (overlaps_bad_page(static_cast<unsigned long long>(offset), count)) {
    errno = EIO;
    return -1;
  }
  return real(fd, buf, count, offset);
}

extern "C" ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  return pread64(fd, buf, count, offset);
}

extern "C" void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset) {
  static auto real = next<void* (*)(void*, size_t, int, int, int, off64_t)>("mmap64");
  void* map = real(addr, length, prot, flags, fd, offset);
  if (map != MAP_FAILED && fd >= 0) {
    mapped_at = map;
    mapped_offset = static_cast<unsigned long long>(offset);
  }
  return map;
}

extern "C" void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  return mmap64(addr, length, prot, flags, fd, offset);
}

extern "C" int madvise(void* addr, size_t length, int advice) {
  static auto real = next<int (*)(void*, size_t, int)>("madvise");
  static unsigned calls = 0;
  if (addr == mapped_at) {
    wait_as_a_slow_disk(length);
  }
  const char* fail = std::getenv("QVZ2PNG_FAIL_POPULATE");
  if (fail && (fail[0] == '1' || (fail[0] == '2' && calls++ % 2 == 1))) {
    errno = EFAULT;
    return -1;
  }
  if (addr == mapped_at && overlaps_bad_page(mapped_offset, length)) {
    errno = EIO;
    return -1;
  }
  return real(addr, length, advice);
}

namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '1';
}

}  // namespace

extern "C" int mincore(void* addr, size_t length, unsigned char* vec) {
  static auto real = next<int (*)(void*, size_t, unsigned char*)>("mincore");
  if (set("QVZ2PNG_COLD")) {
    std::memset(vec, 0, (length + page - 1) / page);
    return 0;
  }
  const int result = real(addr, length, vec);
  for (size_t i = 0; result == 0 && set("QVZ2PNG_LIE") && i < (length + page - 1) / page; ++i) {
    vec[i] ^= 1;
  }
  return result;
}

// A read that may not wait: the tool's question whether a page is in memory.
extern "C" ssize_t preadv64v2(int fd, const iovec* iov, int count, off64_t offset, int flags) {
  static auto real = next<ssize_t (*)(int, const iovec*, int, off64_t, int)>("preadv64v2");
  const bool asks = (flags & RWF_NOWAIT) != 0;
  if (asks && set("QVZ2PNG_COLD")) {
    errno = EAGAIN;
    return -1;
  }
  if (!asks || !set("QVZ2PNG_LIE")) {
    return real(fd, iov, count, offset, flags);
  }
  const ssize_t n = real(fd, iov, count, offset, flags);
  if (n >= 0) {
    errno = EAGAIN;
    return -1;
  }
  return errno == EAGAIN ? real(fd, iov, count, offset, flags & ~RWF_NOWAIT) : n;
}

extern "C" ssize_t preadv2(int fd, const iovec* iov, int count, off_t offset, int flags) {
  return preadv64v2(fd, iov, count, offset, flags);
}

extern "C" int posix_fadvise64(int fd, off64_t offset, off64_t len, int advice) {
  static auto real = next<int (*)(int, off64_t, off64_t, int)>("posix_fadvise64");
  return set("QVZ2PNG_REFUSE_ADVICE") ? EINVAL : real(fd, offset, len, advice);
}

extern "C" int posix_fadvise(int fd, off_t offset, off_t len, int advice) {
  return posix_fadvise64(fd, offset, len, advice);
}
