#include "carve/pair_scan.hpp"

// The one file that picks instruction sets: by what the compiler targets.
#if defined(__x86_64__)
#include <immintrin.h>
#define QVZ2PNG_X86_64 1
#elif defined(__aarch64__)
#include <arm_neon.h>
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

// What the vector kernels carry from one 64-byte block to the next.
struct fold_state {
  std::uint64_t carry = 0;  // the byte before the block is 137
  std::size_t dropped = 0;
};

// 64 positions at once, from bit masks of the 137s and the 80s among their
// bytes. True when they hold a candidate, whose position less one is then
// in *bit.
inline bool fold64(std::uint64_t is_first, std::uint64_t is_second, fold_state* state, int* bit) {
  const std::uint64_t after_first = is_first << 1 | state->carry;
  state->carry = is_first >> 63;
  std::uint64_t swallowed = after_first & ~is_first;
  const std::uint64_t candidates = after_first & is_second;
  if (candidates != 0) {  // rare: one 137 80 pair in 65536 bytes of noise
    *bit = __builtin_ctzll(candidates);
    swallowed &= (std::uint64_t{1} << *bit) - 1;
  }
  // No branch on whether anything was swallowed: in noise that is a coin
  // toss per block, and a mispredicted branch costs more than the count.
  state->dropped += static_cast<std::size_t>(__builtin_popcountll(swallowed));
  return candidates != 0;
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

// The block loop of every vector kernel: Masks::build sets one bit per byte
// of a 64-byte block for the 137s and for the 80s among them, and fold64
// does the rest. Inlined into each kernel, which gives it its instruction set.
template <typename Masks>
__attribute__((always_inline)) inline pair_scan_result scan_blocks(const unsigned char* data,
                                                                   std::size_t size) {
  fold_state state;
  std::size_t j = 0;
  for (; j + 64 <= size; j += 64) {
    std::uint64_t is_first = 0;
    std::uint64_t is_second = 0;
    Masks::build(data + j, &is_first, &is_second);
    int bit = 0;
    if (fold64(is_first, is_second, &state, &bit)) {
      return found(j + static_cast<std::size_t>(bit) - 1, state.dropped);
    }
  }
  return scan_tail(data, size, j, state.dropped);
}

#if QVZ2PNG_X86_64

// SSE2 is every x86-64 processor's baseline: four 16-byte compares a mask.
struct sse2_masks {
  static std::uint64_t mask(__m128i a, __m128i b, __m128i c, __m128i d, __m128i value) {
    const auto bits = [value](__m128i v) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, value)))};
    };
    return bits(a) | bits(b) << 16 | bits(c) << 32 | bits(d) << 48;
  }
  static void build(const unsigned char* p, std::uint64_t* is_first, std::uint64_t* is_second) {
    const auto load = [p](std::size_t part) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    };
    const __m128i a = load(0), b = load(1), c = load(2), d = load(3);
    *is_first = mask(a, b, c, d, _mm_set1_epi8(static_cast<char>(first)));
    *is_second = mask(a, b, c, d, _mm_set1_epi8(static_cast<char>(second)));
  }
};

// AVX2: two 32-byte compares a mask. The kernel inlines all of it (flatten):
// Windows would pass vectors between functions through a stack it keeps
// aligned to 16 bytes only.
struct avx2_masks {
  __attribute__((target("avx2,popcnt,bmi"))) static std::uint64_t mask(__m256i lo, __m256i hi,
                                                                       __m256i value) {
    const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, value)));
    const auto high =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, value)));
    return std::uint64_t{high} << 32 | low;
  }
  __attribute__((target("avx2,popcnt,bmi"))) static void build(const unsigned char* p,
                                                               std::uint64_t* is_first,
                                                               std::uint64_t* is_second) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    *is_first = mask(lo, hi, _mm256_set1_epi8(static_cast<char>(first)));
    *is_second = mask(lo, hi, _mm256_set1_epi8(static_cast<char>(second)));
  }
};

pair_scan_result scan_sse2(const unsigned char* data, std::size_t size) {
  return scan_blocks<sse2_masks>(data, size);
}

__attribute__((target("avx2,popcnt,bmi"), flatten)) pair_scan_result scan_avx2(
    const unsigned char* data, std::size_t size) {
  return scan_blocks<avx2_masks>(data, size);
}

bool has_avx2() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
         __builtin_cpu_supports("bmi");
}

#elif QVZ2PNG_NEON

// NEON has no movemask: one bit per byte from weights and pairwise adds,
// byte i of the 64 at bit i.
struct neon_masks {
  static std::uint64_t mask(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
    const uint8x16_t weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    uint8x16_t sum = vpaddq_u8(vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights)),
                               vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights)));
    sum = vpaddq_u8(sum, sum);
    return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
  }
  static void build(const unsigned char* p, std::uint64_t* is_first, std::uint64_t* is_second) {
    const uint8x16_t a = vld1q_u8(p), b = vld1q_u8(p + 16), c = vld1q_u8(p + 32),
                     d = vld1q_u8(p + 48);
    const uint8x16_t f = vdupq_n_u8(first), s = vdupq_n_u8(second);
    *is_first = mask(vceqq_u8(a, f), vceqq_u8(b, f), vceqq_u8(c, f), vceqq_u8(d, f));
    *is_second = mask(vceqq_u8(a, s), vceqq_u8(b, s), vceqq_u8(c, s), vceqq_u8(d, s));
  }
};

pair_scan_result scan_neon(const unsigned char* data, std::size_t size) {
  return scan_blocks<neon_masks>(data, size);
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
