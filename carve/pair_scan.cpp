#include "carve/pair_scan.hpp"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define QVZ2PNG_X86_64 1
#elif defined(__aarch64__)
#include <arm_neon.h>
#define QVZ2PNG_NEON 1
#endif

#include <cstring>

// Every kernel looks at position j as "the byte after": a 137 at j - 1 is a
// candidate when j is the block's end or holds 80, and the byte at j, when
// neither 80 nor 137, is swallowed by that 137's failed attempt ("dropped").
// Every other byte before the candidate begins an attempt of its own, so the
// failed attempts are the bytes before the candidate less the dropped ones.

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

#if QVZ2PNG_X86_64

// SSE2 is every x86-64 processor's baseline.
pair_scan_result scan_sse2(const unsigned char* data, std::size_t size) {
  const __m128i firsts = _mm_set1_epi8(static_cast<char>(first));
  const __m128i seconds = _mm_set1_epi8(static_cast<char>(second));
  fold_state state;
  std::size_t j = 0;
  for (; j + 64 <= size; j += 64) {
    std::uint64_t is_first = 0;
    std::uint64_t is_second = 0;
    for (std::size_t part = 0; part < 4; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j + 16 * part));
      is_first |=
          std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, firsts)))}
          << (16 * part);
      is_second |=
          std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, seconds)))}
          << (16 * part);
    }
    int bit = 0;
    if (fold64(is_first, is_second, &state, &bit)) {
      return found(j + static_cast<std::size_t>(bit) - 1, state.dropped);
    }
  }
  return scan_tail(data, size, j, state.dropped);
}

// Always inlined: Windows would pass the vectors through a stack it keeps
// aligned to 16 bytes only.
__attribute__((target("avx2,popcnt,bmi"), always_inline)) inline std::uint64_t mask64(
    __m256i lo, __m256i hi, __m256i value) {
  const auto low = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, value)));
  const auto high = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, value)));
  return std::uint64_t{high} << 32 | low;
}

__attribute__((target("avx2,popcnt,bmi"))) pair_scan_result scan_avx2(const unsigned char* data,
                                                                      std::size_t size) {
  const __m256i firsts = _mm256_set1_epi8(static_cast<char>(first));
  const __m256i seconds = _mm256_set1_epi8(static_cast<char>(second));
  fold_state state;
  std::size_t j = 0;
  for (; j + 64 <= size; j += 64) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + j));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + j + 32));
    const std::uint64_t is_first = mask64(lo, hi, firsts);
    int bit = 0;
    if (fold64(is_first, mask64(lo, hi, seconds), &state, &bit)) {
      return found(j + static_cast<std::size_t>(bit) - 1, state.dropped);
    }
  }
  return scan_tail(data, size, j, state.dropped);
}

bool has_avx2() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
         __builtin_cpu_supports("bmi");
}

#elif QVZ2PNG_NEON

// One bit per byte of four compare results, byte i of the 64 at bit i.
std::uint64_t mask64(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
  const uint8x16_t weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  uint8x16_t sum = vpaddq_u8(vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights)),
                             vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights)));
  sum = vpaddq_u8(sum, sum);
  return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
}

pair_scan_result scan_neon(const unsigned char* data, std::size_t size) {
  const uint8x16_t firsts = vdupq_n_u8(first);
  const uint8x16_t seconds = vdupq_n_u8(second);
  fold_state state;
  std::size_t j = 0;
  for (; j + 64 <= size; j += 64) {
    const uint8x16_t a = vld1q_u8(data + j);
    const uint8x16_t b = vld1q_u8(data + j + 16);
    const uint8x16_t c = vld1q_u8(data + j + 32);
    const uint8x16_t d = vld1q_u8(data + j + 48);
    const std::uint64_t is_first =
        mask64(vceqq_u8(a, firsts), vceqq_u8(b, firsts), vceqq_u8(c, firsts), vceqq_u8(d, firsts));
    int bit = 0;
    const std::uint64_t is_second = mask64(vceqq_u8(a, seconds), vceqq_u8(b, seconds),
                                           vceqq_u8(c, seconds), vceqq_u8(d, seconds));
    if (fold64(is_first, is_second, &state, &bit)) {
      return found(j + static_cast<std::size_t>(bit) - 1, state.dropped);
    }
  }
  return scan_tail(data, size, j, state.dropped);
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
