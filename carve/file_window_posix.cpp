#include "carve/file_window.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

// Offsets past 2 GiB must survive every call that takes an off_t.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

// Whether a window is in memory already, told by its last page: the system
// reads a file in order, so a window whose last page is in has the rest in
// too, most likely (and a page that is not is read in all the same).
// Paging in a window that is not waits on the disk a little at a time,
// however far ahead the tool asks; read through the buffer instead, it
// comes as fast as the disk gives it. Asking of every page cost the mapped
// reading of a cached file 6-10%; of one, nothing measurable.
//
// mincore tells only a reader that owns the file (or root) the truth; to
// any other every page is in, and a cold file would be paged in at half
// the disk's speed. Such a reader asks by a read of one byte that may not
// wait: it answers any reader, but where the page is not in, it starts
// reading there, out of the order in which the system reads ahead for the
// reader, and so it is not asked where mincore will do. Any other failure
// of that read reads the window through the buffer, where a failure is
// reported as it should be. Where neither tells, the window counts as in
// memory.
bool in_memory(const file_window& window, void* map, std::size_t len) {
  const std::size_t last = (len - 1) / window.page * window.page;
  if (window.ask_by_reading) {
    unsigned char byte = 0;
    iovec one = {&byte, 1};
    if (preadv2(window.fd, &one, 1, static_cast<off_t>(window.offset + last), RWF_NOWAIT) >= 0) {
      return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) {
      return false;
    }
  }
  unsigned char page = 1;
  return mincore(static_cast<char*>(map) + last, 1, &page) != 0 || (page & 1) != 0;
}

// The guard stays armed from the first window mapped until the file is
// detached: arming it for every window cost two system calls a window,
// which a virtual machine makes dear. Between windows it takes no fault.
bool guard(file_window& window) {
  if (!window.guarded) {
    window.guarded = arm_window_guard();
  }
  return window.guarded;
}

// The bytes of a stretch of size from here on that lie in the file as it
// was at open; 0 where none may be mapped.
std::size_t stretch_length(const file_window& window, std::size_t size) {
  const std::uint64_t left = window.mappable > window.offset ? window.mappable - window.offset : 0;
  if (window.window_size == 0 || window.offset % window.page != 0) {
    return 0;
  }
  return left < size ? static_cast<std::size_t>(left) : size;
}

// Maps len bytes from here on where the last page of them is in memory;
// MAP_FAILED, with nothing mapped, where it is not or they cannot be mapped.
void* map_if_in_memory(const file_window& window, std::size_t len) {
  void* map = mmap(window.last_map, len, PROT_READ, MAP_SHARED, window.fd,
                   static_cast<off_t>(window.offset));
  if (map != MAP_FAILED && !in_memory(window, map, len)) {
    munmap(map, len);
    map = MAP_FAILED;
  }
  return map;
}

// Maps the next window with all of its pages read in; false otherwise, and
// then nothing stays mapped. Reading the pages in up front is what makes the
// mapping safe: where a page cannot be read, the kernel says so here (the
// stretch is then read into the buffer, where the error is reported as a
// read error) instead of raising SIGBUS in the middle of the scan. A window
// not yet in memory is read into the buffer too.
bool map_window(file_window& window) {
  if (window.offset < window.read_until) {
    return false;  // a stretch being read, in memory or not as it was found
  }
  window.resident = false;
  const std::size_t len =
      stretch_length(window, window.next_size > 0 ? window.next_size : window.window_size);
  window.next_size = 0;
  if (len == 0) {
    return false;
  }
  void* map = map_if_in_memory(window, len);
  if (map != MAP_FAILED && (madvise(map, len, MADV_POPULATE_READ) != 0 || !guard(window))) {
    munmap(map, len);
    map = MAP_FAILED;
  }
  if (map == MAP_FAILED) {
    // Read this stretch instead, and try mapping again only after it.
    window.read_until = window.offset + len;
    return false;
  }
  window.map = map;
  window.last_map = map;
  window.map_len = len;
  window.resident = true;
  return true;
}

// Whether the stretch that begins here, read by choice, is in memory, asked
// as a window's is: mapped, but none of it read in.
bool stretch_in_memory(const file_window& window) {
  // Nothing to map (len 0) fails to map.
  const std::size_t len = stretch_length(window, window.window_size);
  void* map = map_if_in_memory(window, len);
  if (map == MAP_FAILED) {
    return false;
  }
  munmap(map, len);
  return true;
}

ssize_t read_at(int fd, unsigned char* buffer, std::size_t size, std::uint64_t offset) {
  ssize_t n;
  do {
    n = pread(fd, buffer, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n;
}

// After a failed read: the stretch again, a page at a time, up to the first
// page that cannot be read. A disk fails whole sectors, and every byte
// before a bad one is still to be had; readahead, which would fail the good
// pages along with the bad, is turned off for the rest of the run. -1 when
// the first page fails.
ssize_t read_up_to_bad_page(const file_window& window, unsigned char* buffer, std::size_t size) {
  posix_fadvise(window.fd, 0, 0, POSIX_FADV_RANDOM);
  std::size_t got = 0;
  while (got < size) {
    const std::uint64_t at = window.offset + got;
    const std::size_t piece = std::min<std::size_t>(size - got, window.page - at % window.page);
    const ssize_t n = read_at(window.fd, buffer + got, piece, at);
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  return got > 0 ? static_cast<ssize_t>(got) : -1;
}

// Whether a read that met the end before the size seen at open met it
// because the file was shortened since. A file whose size says more than it
// holds (a /sys attribute reports 4096) has simply ended.
bool shrunk(const file_window& window) {
  struct stat st;
  return window.offset < window.mappable &&
         (fstat(window.fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) < window.mappable);
}

}  // namespace

bool attach_file_window(file_window& window, std::FILE* file, std::size_t window_size) {
  int fd = fileno(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  window.fd = fd;
  window.offset = 0;
  window.mappable = static_cast<std::uint64_t>(st.st_size);
  window.read_until = 0;
  window.page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  window.window_size = window_size / window.page * window.page;
  window.ask_by_reading = st.st_uid != geteuid() && geteuid() != 0;
  return true;
}

std::ptrdiff_t fill_from_file(file_window& window, unsigned char* buffer, std::size_t size,
                              const unsigned char** data) {
  release_window(window);
  if (window.failed) {
    return -1;
  }
  if (map_window(window)) {
    *data = static_cast<const unsigned char*>(window.map);
    window.offset += window.map_len;
    return static_cast<std::ptrdiff_t>(window.map_len);
  }
  ssize_t n = read_at(window.fd, buffer, size, window.offset);
  if (n < 0) {
    n = read_up_to_bad_page(window, buffer, size);
  }
  if (n > 0) {
    window.offset += static_cast<std::uint64_t>(n);
  }
  window.failed = n < 0 || (n == 0 && shrunk(window));
  *data = buffer;
  return window.failed ? -1 : n;
}

bool at_stretch_start(const file_window& window) {
  return window.window_size > 0 && window.offset >= window.read_until &&
         window.offset < window.mappable;
}

void read_stretch(file_window& window) {
  window.read_until = window.offset + window.window_size;
  window.resident = stretch_in_memory(window);
}

// Half a window (2 MiB) still holds a whole large page, mapped in one go,
// and every window after it still begins where one may.
void halve_next_stretch(file_window& window) {
  const std::size_t half = window.window_size / 2 / window.page * window.page;
  if (window.read_until > window.offset) {
    window.read_until = window.offset + half;
  } else {
    window.next_size = half;
  }
}

void release_window(file_window& window) {
  if (window.map != nullptr) {
    munmap(window.map, window.map_len);
  }
  window.map = nullptr;
  window.map_len = 0;
}

void detach_file_window(file_window& window) {
  release_window(window);
  if (window.guarded) {
    disarm_window_guard();
  }
  window.guarded = false;
}

namespace {

// How many bytes from data on are still in the file, given that the one at
// data + fault was not: none from that byte's page on, nor past the file's
// present end. Windows start at page boundaries of the file, so its pages
// are the mapping's.
std::uint64_t offset_of(const file_window& window, const unsigned char* data) {
  return window.offset - window.map_len +
         static_cast<std::uint64_t>(data - static_cast<const unsigned char*>(window.map));
}

std::size_t still_there(const file_window& window, const unsigned char* data, std::size_t size,
                        std::ptrdiff_t fault) {
  const std::uint64_t start = offset_of(window, data);
  std::uint64_t gone = (start + static_cast<std::uint64_t>(fault)) / window.page * window.page;
  struct stat st;
  if (fstat(window.fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) < gone) {
    gone = static_cast<std::uint64_t>(st.st_size);
  }
  const std::uint64_t keep = gone > start ? gone - start : 0;
  // Each retry covers fewer bytes, so the reading ends however often the
  // file shrinks again meanwhile.
  return keep < size ? static_cast<std::size_t>(keep) : size - 1;
}

std::size_t first_byte(const unsigned char* data, std::size_t, void* context) {
  *static_cast<unsigned char*>(context) = data[0];
  return 1;
}

// Whether the file still reaches the window's end, told without a system
// call where it can be: a byte past a file's end within its last page reads
// as zero, and a page wholly past it faults, so a last byte other than zero
// is still in the file. A zero may be the file's own, and says nothing.
bool reaches_window_end(const file_window& window) {
  const unsigned char* last = static_cast<const unsigned char*>(window.map) + window.map_len - 1;
  unsigned char byte = 0;
  std::size_t used = 0;
  std::ptrdiff_t fault = 0;
  return run_guarded(window.map, window.map_len, first_byte, last, 1, &byte, &used, &fault) &&
         byte != 0;
}

// How many of the size bytes from data on were in the file as the leaf
// read them, up to the byte after the last it used. A file shortened within
// the window's last page leaves no page wholly past its end to fault on:
// the bytes past the new end read as zeros. So where the bytes used reach
// that page, and the window's last byte does not tell, the file's size is
// asked after; anywhere before it, a page past the end follows, and faults.
std::size_t in_file(const file_window& window, const unsigned char* data, std::size_t size,
                    std::size_t used) {
  const std::uint64_t start = offset_of(window, data);
  const std::uint64_t end = start + (used < size ? used + 1 : size);
  struct stat st;
  if (end + window.page <= window.offset || reaches_window_end(window) ||
      fstat(window.fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) >= end) {
    return size;
  }
  const std::uint64_t now = static_cast<std::uint64_t>(st.st_size);
  return now > start ? static_cast<std::size_t>(now - start) : 0;
}

}  // namespace

std::size_t read_window(file_window& window, const unsigned char* data, std::size_t* size,
                        window_leaf leaf, void* context) {
  std::size_t result = 0;
  std::ptrdiff_t fault = 0;
  for (;;) {
    if (!run_guarded(window.map, window.map_len, leaf, data, *size, context, &result, &fault)) {
      window.failed = true;
      *size = still_there(window, data, *size, fault);
      continue;
    }
    const std::size_t kept = in_file(window, data, *size, result);
    if (kept == *size) {
      return result;
    }
    window.failed = true;  // the leaf ran over zeros: again, over what is left
    *size = kept;
  }
}
