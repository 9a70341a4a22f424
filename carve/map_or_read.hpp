#ifndef QVZ2PNG_CARVE_MAP_OR_READ_HPP
#define QVZ2PNG_CARVE_MAP_OR_READ_HPP

#include <cstdint>

// Whether the next stretch of a cached file (a window's length) is scanned
// in place, mapped, or read into the buffer, chosen by what this run
// measures of each.
//
// Why measure: mapping costs something for every page a window holds, and
// how much depends on how the file came into memory and on the machine. A
// file the page cache holds in large folios (read back by a disk that reads
// far ahead) maps cheaper than it reads; one held a page at a time (just
// copied, downloaded, on tmpfs, or read in by a run of this tool) mapped
// at four times the cost of reading it on a virtual machine, whose page
// walks are dear. No rule fixed in advance is right for every file and
// every machine, and a file's parts can differ.
//
// So each way keeps what its stretches cost of late, a byte, and the
// cheaper goes on; the dearer is tried again now and then: soon after the
// start, since the first stretches of a file can differ from the rest (a
// disk reading ahead reads a file's first megabytes into small pages and
// the rest into large ones), then less and less often, and less often the
// dearer it was, so that trying costs at most about try_budget of the time.
// A try, and each of the first stretches, is half a window long: half the
// cost where the way is dear.
// Only the reading counts: the fill of each stretch (mapping or reading it,
// and letting it go) and the scan over it, never writing images. Nor does
// each way's first stretch: it also pays for what a process does once (its
// code and its buffer paged in). Reading the clock costs too (up to a few
// microseconds after a window is let go, on a virtual machine), so the way
// in use is timed on one stretch in every few.

enum class reach_way { mapped, read };

struct map_or_read {
  bool warm[2] = {false, false};       // each way's first stretch, which is not weighed, is past
  double cost[2] = {0, 0};             // ns a byte, for each way; 0: not measured yet
  reach_way last = reach_way::mapped;  // the way of the stretch weighed last
  std::uint64_t until_try = 0;         // stretches the cheaper way goes on before the other's try
  std::uint64_t stretches = 0;         // stretches read the way chosen
  std::uint64_t timed_at[2] = {0, 0};  // when each way was last timed, in stretches
};

// A try costs what the dearer way costs beyond the cheaper over one
// stretch; spread over the stretches between tries, that is at most this.
constexpr double try_budget = 0.01;
// However much dearer it was, the other way is tried again by the time the
// reading has gone this many times as far as at the last try, and after at
// most this many stretches (1 GiB in 4 MiB windows).
constexpr std::uint64_t tries_spread = 4;
constexpr std::uint64_t most_stretches_between_tries = 256;
// The way in use is timed on one stretch in this many.
constexpr std::uint64_t timed_one_in = 4;

// What the stretch being read has cost so far.
struct stretch_tally {
  reach_way way = reach_way::mapped;
  bool counts = false;        // reached the way chosen, not read because it was not in memory
  bool timed = false;         // its costs below were measured
  std::uint64_t bytes = 0;    // taken in
  std::uint64_t fill_ns = 0;  // filling them in, asking ahead, letting them go
  std::uint64_t copied = 0;   // of them, copied into images, which is timed for no way
  std::uint64_t scan_ns = 0;  // scanning the rest
};

// The way to reach the next stretch.
reach_way choose_way(const map_or_read& choice);

// Whether the next stretch is half a window long: a try of the dearer way,
// or one of the first, which measure each way.
bool half_stretch(const map_or_read& choice);

// Whether the next stretch is to be timed.
bool times_next(const map_or_read& choice);

// Takes in what the stretch just read cost, where it counts.
void weigh_stretch(map_or_read& choice, const stretch_tally& stretch);

// A monotonic clock in nanoseconds, what the stretches are timed with.
std::uint64_t monotonic_ns();

#endif
