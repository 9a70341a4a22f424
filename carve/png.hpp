#ifndef QVZ2PNG_CARVE_PNG_HPP
#define QVZ2PNG_CARVE_PNG_HPP

#include <cstdint>

// What the tool knows of the PNG format: the signature that begins a file
// and the 8-byte header that begins each chunk (length, then type).

// The PNG file signature: compared and written as 8 bytes, never as text.
inline constexpr unsigned char png_signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// A chunk's length field: 4 bytes, most significant first.
inline std::uint32_t load_be32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

// A chunk type is four ASCII letters; every decoder rejects anything else.
// A header whose type is not proves the bytes followed are no PNG (a false
// signature) or no longer one (an image split by foreign bytes).
inline bool is_chunk_type(const unsigned char* type) {
  for (int i = 0; i < 4; ++i) {
    const unsigned char letter = type[i] | 0x20;  // folds A-Z onto a-z
    if (letter < 'a' || letter > 'z') {
      return false;
    }
  }
  return true;
}

#endif
