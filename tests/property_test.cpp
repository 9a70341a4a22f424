// Random containers carved by the tool and by the byte-at-a-time model must
// agree on every output byte, every message and the attempt count, whatever
// the block sizes, the way the container is read (each stretch of a file
// mapped or read, as it falls), and where a read fails.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "cli/status_line.hpp"
#include "support.hpp"

namespace {

void expect_same(const carve_run& run, const carve_run& model) {
  EXPECT_EQ(run.outcome, model.outcome);
  EXPECT_EQ(run.messages, model.messages);
  EXPECT_EQ(run.state.testcount, model.state.testcount);
  EXPECT_EQ(run.state.image_count, model.state.image_count);
  EXPECT_EQ(run.bytes_read, model.bytes_read);
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
    const input_options options = {1 + rng() % 70, 4096,
                                   seed % 2 == 0 ? random_clock : monotonic_ns};
    carve_run run = carve_file(container, options);
    expect_same(run, model_carve(container));
    if (HasFailure()) {
      return;
    }
  }
}

// The status line never wraps on its console, and as the figures change
// its fields hold their columns, so that it redraws in place.
TEST(property, status_line_fits_and_holds_still) {
  std::mt19937_64 rng{79};
  auto random_figures = [&rng](std::uint64_t size) {
    status_figures figures;
    figures.size = size;
    figures.bytes_read = rng() % (size > 0 ? size + 1 : std::uint64_t{1} << 50);
    figures.images = static_cast<std::int64_t>(rng() % 1000000);
    figures.rate = static_cast<double>(rng() % (std::uint64_t{1} << 44));
    figures.seconds_left = rng() % 2 == 0 ? -1.0 : std::ldexp(rng() % 1000, rng() % 40);
    return figures;
  };
  for (int i = 0; i < 5000; ++i) {
    const std::uint64_t size = rng() % 2 == 0 ? 0 : 1 + rng() % (std::uint64_t{1} << 50);
    const status_figures a = random_figures(size);
    const status_figures b = random_figures(size);
    const int columns = static_cast<int>(rng() % 130);
    SCOPED_TRACE(testing::Message() << "columns " << columns << ": " << status_text(a, 0));
    EXPECT_LE(status_text(a, columns).size(), columns > 0 ? columns - 1u : 79u);
    const std::string one = status_text(a, 200);
    const std::string another = status_text(b, 200);
    EXPECT_EQ(one.find("image"), another.find("image")) << another;
    EXPECT_EQ(one.find("/s"), another.find("/s")) << another;
  }
}

}  // namespace
