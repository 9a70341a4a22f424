#include "carve/map_or_read.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <initializer_list>

namespace {

// How much a new stretch moves the figure of the way in use: enough to
// follow a change within a few stretches, not so much that one stretch the
// machine was busy elsewhere turns the choice. Such a stretch (seen: seven
// times the others) counts as at most twice the figure.
constexpr double follow = 0.25;
constexpr double most_above = 2;

int index_of(reach_way way) {
  return way == reach_way::mapped ? 0 : 1;
}

double& cost_of(map_or_read& choice, reach_way way) {
  return choice.cost[index_of(way)];
}

double cost_of(const map_or_read& choice, reach_way way) {
  return choice.cost[index_of(way)];
}

// Each way's first stretch, then each way's second, mapping first, as a
// cached file always was; none yet to go by.
bool still_measuring(const map_or_read& choice, reach_way* way) {
  for (const reach_way first : {reach_way::mapped, reach_way::read}) {
    if (!choice.warm[index_of(first)]) {
      *way = first;
      return true;
    }
  }
  for (const reach_way first : {reach_way::mapped, reach_way::read}) {
    if (cost_of(choice, first) == 0) {
      *way = first;
      return true;
    }
  }
  return false;
}

// The figure of the way a timed stretch was read, with its cost.
void take_in(map_or_read& choice, reach_way way, const stretch_tally& stretch) {
  const double scanned = static_cast<double>(stretch.bytes - stretch.copied);
  const double sample = static_cast<double>(stretch.fill_ns) / static_cast<double>(stretch.bytes) +
                        static_cast<double>(stretch.scan_ns) / scanned;
  double& cost = cost_of(choice, way);
  // A figure from many stretches before is stale, and a try replaces it;
  // the way in use, back after a try, goes on from its own.
  const bool stale = choice.stretches - choice.timed_at[index_of(way)] > 2 * timed_one_in;
  choice.timed_at[index_of(way)] = choice.stretches;
  cost =
      cost == 0 || stale ? sample : cost + (std::fmin(sample, cost * most_above) - cost) * follow;
  // A cost of 0 means unmeasured; a clock too coarse to see a stretch must
  // not make it so.
  if (cost <= 0) {
    cost = 1e-9;
  }
}

reach_way other(reach_way way) {
  return way == reach_way::mapped ? reach_way::read : reach_way::mapped;
}

reach_way cheaper(const map_or_read& choice) {
  return cost_of(choice, reach_way::read) < cost_of(choice, reach_way::mapped) ? reach_way::read
                                                                               : reach_way::mapped;
}

// Stretches between tries: a try costs (dearer / cheaper - 1) of half a
// stretch.
std::uint64_t stretches_between_tries(const map_or_read& choice) {
  const reach_way dearer = other(cheaper(choice));
  const double ratio = cost_of(choice, dearer) / cost_of(choice, cheaper(choice));
  const double wanted = std::ceil((ratio - 1) / 2 / try_budget);
  const std::uint64_t most =
      std::min(most_stretches_between_tries,
               std::max<std::uint64_t>(1, choice.stretches * (tries_spread - 1)));
  if (!(wanted < static_cast<double>(most))) {
    return most;
  }
  return wanted < 1 ? 1 : static_cast<std::uint64_t>(wanted);
}

}  // namespace

reach_way choose_way(const map_or_read& choice) {
  reach_way way = reach_way::mapped;
  if (still_measuring(choice, &way)) {
    return way;
  }
  return choice.until_try == 0 ? other(cheaper(choice)) : cheaper(choice);
}

bool half_stretch(const map_or_read& choice) {
  reach_way way = reach_way::mapped;
  return still_measuring(choice, &way) || choice.until_try == 0;
}

bool times_next(const map_or_read& choice) {
  reach_way way = reach_way::mapped;
  return still_measuring(choice, &way) || choice.until_try == 0 ||
         choose_way(choice) != choice.last || choice.stretches % timed_one_in == 0;
}

void weigh_stretch(map_or_read& choice, const stretch_tally& stretch) {
  if (!stretch.counts || stretch.bytes <= stretch.copied) {
    return;  // not the way chosen, or all of it an image's: nothing to go by
  }
  const reach_way way = stretch.way;
  const bool warm = choice.warm[index_of(way)];
  choice.warm[index_of(way)] = true;
  choice.stretches += 1;
  if (warm && stretch.timed) {
    take_in(choice, way, stretch);
  }
  choice.last = way;
  if (!warm || cost_of(choice, reach_way::mapped) == 0 || cost_of(choice, reach_way::read) == 0) {
    return;
  }
  // until_try was 0: this stretch was the try (or the other way's first).
  choice.until_try = choice.until_try == 0 ? stretches_between_tries(choice) : choice.until_try - 1;
}

std::uint64_t monotonic_ns() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}
