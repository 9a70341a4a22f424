#ifndef QVZ2PNG_CARVE_PAGE_BUFFER_HPP
#define QVZ2PNG_CARVE_PAGE_BUFFER_HPP

#include <cstddef>
#include <memory>
#include <new>

// Memory that begins at a page boundary, for the system to copy into. The
// kernel copies a read into such a destination at full speed, and into one
// that is not aligned to 64 bytes at about half: a large block from malloc
// begins 16 bytes past a boundary, and 1 GiB of a cached file read into one
// in 128 KiB pieces took 202 ms against 112 ms.
constexpr std::size_t page_alignment = 4096;

struct page_free {
  void operator()(unsigned char* bytes) const {
    ::operator delete[](bytes, std::align_val_t{page_alignment});
  }
};

struct page_buffer {
  std::unique_ptr<unsigned char[], page_free> bytes;
  std::size_t size = 0;
};

inline page_buffer allocate_page_buffer(std::size_t size) {
  void* bytes = ::operator new[](size, std::align_val_t{page_alignment});
  return {std::unique_ptr<unsigned char[], page_free>(static_cast<unsigned char*>(bytes)), size};
}

#endif
