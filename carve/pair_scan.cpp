#include "carve/pair_scan.hpp"

// The one file that picks instruction sets: by what the compiler targets.
#if defined(__x86_64__)
#define QVZ2PNG_X86_64 1
#elif defined(__aarch64__)
#define QVZ2PNG_NEON 1
#endif

#include <cstring>

// By the attempt rule (scanner.hpp), a byte other than 137 fails alone; a
// 137 fails with the byte after it when that is neither 80 nor 137, and
// alone when it is 137. So every kernel looks at position j as "the byte
// after": a 137 at j - 1 is a candidate when j is the block's end or holds
// 80, and the byte at j, when neither 80 nor 137, is swallowed by that
// 137's failed attempt ("dropped"). The failed attempts are the bytes
// before the candidate less the dropped ones.

namespace {

constexpr unsigned char first = 137;
constexpr unsigned char second = 80;

pair_scan_result found(std::size_t stop, std::size_t dropped) {
  return {stop, static_cast<std::int64_t>(stop - dropped)};
}

// Looks at position j; true when the 137 before it is a candidate.
inline bool step(const unsigned char* data, std::size_t size, std::size_t j, std::size_t* dropped) {
  if (j == 0 || data[j - 1] != first) {
    return false;
  }
  if (j == size || data[j] == second) {
    return true;
  }
  *dropped += data[j] != first ? 1 : 0;
  return false;
}

// Positions from j to the block's end, one at a time.
pair_scan_result scan_tail(const unsigned char* data, std::size_t size, std::size_t j,
                           std::size_t dropped) {
  for (; j <= size; ++j) {
    if (step(data, size, j, &dropped)) {
      return found(j - 1, dropped);
    }
  }
  return {size, static_cast<std::int64_t>(size - dropped)};
}

// Plain C++ for any processor: eight bytes at a time skip past words that
// hold no 137 and follow none; the rest goes a byte at a time.
pair_scan_result scan_portable(const unsigned char* data, std::size_t size) {
  constexpr std::uint64_t ones = 0x0101010101010101;
  constexpr std::uint64_t highs = 0x8080808080808080;
  std::size_t dropped = 0;
  std::size_t j = 0;
  for (; j + 8 <= size; j += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + j, 8);
    const std::uint64_t x = word ^ (ones * first);
    const bool any_first = ((x - ones) & ~x & highs) != 0;
    if (!any_first && (j == 0 || data[j - 1] != first)) {
      continue;
    }
    for (std::size_t k = j; k < j + 8; ++k) {
      if (step(data, size, k, &dropped)) {
        return found(k - 1, dropped);
      }
    }
  }
  return scan_tail(data, size, j, dropped);
}

// The compiler's own vectors, of 16 or 32 bytes: plain operators on them
// become the instructions of the function they end up in (SSE2 on any
// x86-64, NEON on aarch64, AVX2 in the kernel compiled for it), so one block
// loop serves every kernel. Nothing passes a vector to a function by value,
// which would tie it to one instruction set's calling convention.
template <std::size_t size>
struct vectors;
template <>
struct vectors<16> {
  typedef unsigned char bytes __attribute__((vector_size(16)));
  typedef std::uint64_t words __attribute__((vector_size(16)));
};
template <>
struct vectors<32> {
  typedef unsigned char bytes __attribute__((vector_size(32)));
  typedef std::uint64_t words __attribute__((vector_size(32)));
};

// Whether a byte of v is not zero. Not forced inline, unlike its
// neighbours: the AVX2 one below may only be inlined where AVX2 is on,
// which its kernel's flatten does.
template <typename V>
inline bool any(const typename V::bytes& v) {
  const auto words = (typename V::words)v;
  std::uint64_t all = 0;
  for (std::size_t i = 0; i < sizeof words / 8; ++i) {
    all |= words[i];
  }
  return all != 0;
}

// The sum of v's bytes.
template <typename V>
__attribute__((always_inline)) inline std::size_t sum(const typename V::bytes& v) {
  const auto words = (typename V::words)v;
  std::size_t total = 0;
  for (std::size_t i = 0; i < sizeof words / 8; ++i) {
    const std::uint64_t pairs =
        (words[i] & 0x00FF00FF00FF00FF) + (words[i] >> 8 & 0x00FF00FF00FF00FF);
    total += pairs * 0x0001000100010001 >> 48;
  }
  return total;
}

// The block loop of every vector kernel. Each position j is compared with
// the byte before it by a second load from j - 1, so nothing is carried
// between vectors. A round takes 128 bytes with one test and one branch for
// all of them; the dropped bytes are counted in byte lanes (each match,
// 0xFF, subtracted adds one) and summed before a lane can overflow. A round
// that holds a candidate is gone over again a byte at a time, from its
// start. Inlined into each kernel, which gives it its instruction set.
template <typename V>
__attribute__((always_inline)) inline pair_scan_result scan_blocks(const unsigned char* data,
                                                                   std::size_t size) {
  using bytes = typename V::bytes;
  constexpr std::size_t round = 128;
  constexpr int rounds_per_sum = 255 / (round / sizeof(bytes));
  bytes counts = {};
  std::size_t dropped = 0;
  int rounds = 0;
  std::size_t j = 1;  // position 0 has no byte before it
  for (; j + round <= size; j += round) {
    bytes candidates = {};
    bytes more = counts;
    // Unrolled, so that the round's vectors stay in registers: rolled, GCC
    // keeps them in memory and reads them back for the test.
#pragma GCC unroll 8
    for (std::size_t k = j; k < j + round; k += sizeof(bytes)) {
      bytes before;
      bytes here;
      std::memcpy(&before, data + k - 1, sizeof before);
      std::memcpy(&here, data + k, sizeof here);
      const auto after_first = (bytes)(before == first);
      candidates |= after_first & (bytes)(here == second);
      more -= after_first & ~(bytes)(here == first);
    }
    if (any<V>(candidates)) {
      break;  // rare: one 137 80 pair in 65536 bytes of noise
    }
    counts = more;
    if (++rounds == rounds_per_sum) {
      dropped += sum<V>(counts);
      counts = bytes{};
      rounds = 0;
    }
  }
  return scan_tail(data, size, j, dropped + sum<V>(counts));
}

#if QVZ2PNG_X86_64

// AVX tests all 32 bytes in one instruction, where the words take eight.
template <>
__attribute__((target("avx2"))) inline bool any<vectors<32>>(const vectors<32>::bytes& v) {
  const auto words = (__attribute__((vector_size(32))) long long)v;
  return __builtin_ia32_ptestz256(words, words) == 0;
}

pair_scan_result scan_sse2(const unsigned char* data, std::size_t size) {
  return scan_blocks<vectors<16>>(data, size);
}

__attribute__((target("avx2"), flatten)) pair_scan_result scan_avx2(const unsigned char* data,
                                                                    std::size_t size) {
  return scan_blocks<vectors<32>>(data, size);
}

bool has_avx2() {
  return __builtin_cpu_supports("avx2");
}

#elif QVZ2PNG_NEON

pair_scan_result scan_neon(const unsigned char* data, std::size_t size) {
  return scan_blocks<vectors<16>>(data, size);
}

#endif

}  // namespace

std::vector<pair_scan_kernel> pair_scan_kernels() {
  std::vector<pair_scan_kernel> kernels;
#if QVZ2PNG_X86_64
  if (has_avx2()) {
    kernels.push_back({"avx2", scan_avx2});
  }
  kernels.push_back({"sse2", scan_sse2});
#elif QVZ2PNG_NEON
  kernels.push_back({"neon", scan_neon});
#endif
  kernels.push_back({"portable", scan_portable});
  return kernels;
}

pair_scan_result pair_scan(const unsigned char* data, std::size_t size) {
  static const pair_scan_fn chosen = pair_scan_kernels().front().scan;
  return chosen(data, size);
}
