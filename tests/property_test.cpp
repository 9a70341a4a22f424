// Random containers carved by the tool and by the byte-at-a-time model must
// agree on every output byte, every message and the attempt count, whatever
// the block sizes, the way the container is read, and where a read fails.

#include <gtest/gtest.h>

#include <random>

#include "support.hpp"

namespace {

void expect_same(const carve_run& run, const carve_run& model) {
  EXPECT_EQ(run.outcome, model.outcome);
  EXPECT_EQ(run.messages, model.messages);
  EXPECT_EQ(run.state.testcount, model.state.testcount);
  EXPECT_EQ(run.state.image_count, model.state.image_count);
  EXPECT_EQ(run.files, model.files);
}

TEST(property, streams_agree_with_the_model) {
  scratch_dir dir;
  std::mt19937_64 rng{2026};
  for (std::uint64_t seed = 0; seed < 3000; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    const bytes container = random_container(seed);
    const std::size_t buffer_size = 1 + rng() % 70;
    const std::size_t fail_at = rng() % 3 == 0 ? rng() % (container.size() + 1) : SIZE_MAX;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      std::filesystem::remove(entry.path());
    }
    carve_run run = carve_bytes(container, buffer_size, fail_at);
    expect_same(run, model_carve(container, fail_at));
    if (HasFailure()) {
      return;
    }
  }
}

TEST(property, mapped_files_agree_with_the_model) {
  scratch_dir dir;
  std::mt19937_64 rng{137};
  for (std::uint64_t seed = 1000; seed < 2000; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    // Sit the container across the edge of the first 4 KiB window.
    const bytes container = repeat(0, 4096 - 1 - rng() % 300) + random_container(seed);
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      std::filesystem::remove(entry.path());
    }
    carve_run run = carve_file(container, {1 + rng() % 70, 4096});
    expect_same(run, model_carve(container));
    if (HasFailure()) {
      return;
    }
  }
}

}  // namespace
