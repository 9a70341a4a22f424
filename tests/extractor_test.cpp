// Where the images go: output names, files that cannot be created or
// written, and the container itself, which is never written over.

#include <gtest/gtest.h>

#include "support.hpp"

namespace fs = std::filesystem;

namespace {

const bytes one = png();
const bytes other = png(text("other pixels"));

TEST(output_name, is_zero_filled_to_five_digits_and_grows_past_them) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {1, "DMP00001.png"},
      {42, "DMP00042.png"},
      {99999, "DMP99999.png"},
      {100000, "DMP100000.png"},
      {4294967296 + 7, "DMP4294967303.png"},
  };
  for (const auto& [number, name] : cases) {
    EXPECT_EQ(output_name(number), name);
  }
}

// A name that is taken already, by a file or by a link to none, is written
// as the C library's fopen would write it: truncated, or created through
// the link.
TEST(extract, replaces_an_existing_output_file) {
  const std::pair<const char*, void (*)()> cases[] = {
      {"an older, longer file",
       [] { write_file("DMP00001.png", text("an older and much longer file than the image")); }},
      {"a dangling link", [] { fs::create_symlink("elsewhere.png", "DMP00001.png"); }},
  };
  for (const auto& [name, prepare] : cases) {
    SCOPED_TRACE(name);
    scratch_dir dir;
    prepare();
    carve_run run = carve_bytes(one);
    EXPECT_EQ(run.outcome, scan_outcome::end_of_input);
    EXPECT_EQ(run.files["DMP00001.png"], one);
  }
}

// Output paths that cannot be used end the run at once, with what was
// carved before them complete on disk and nothing left of the failed one;
// an image that the container cuts off says so first, whatever its size.
struct output_failure_case {
  const char* name;
  void (*prepare)();
  std::string messages;
  std::vector<std::string> files_left;
  const bytes* container = nullptr;  // one + other + one + other when none
};

TEST(extract, ends_the_run_when_an_output_cannot_be_used) {
  const bytes big = png(repeat('x', 100000));
  const bytes big_cut = one + bytes(big.begin(), big.begin() + 90000);
  const output_failure_case cases[] = {
      {"first name is a directory",
       [] { fs::create_directory("DMP00001.png"); },
       "Output path DMP00001.png is not available.\r\n",
       {}},
      {"third name is a directory",
       [] { fs::create_directory("DMP00003.png"); },
       "Started png file     1.\r\nStarted png file     2.\r\n"
       "Output path DMP00003.png is not available.\r\n",
       {"DMP00001.png", "DMP00002.png"}},
      {"writes fail",
       [] { fs::create_symlink("/dev/full", "DMP00002.png"); },
       "Started png file     1.\r\nStarted png file     2.\r\n"
       "Output path DMP00002.png is not available.\r\n",
       {"DMP00001.png"}},
      {"writes fail in an image over 64 KiB that the container cuts off",
       [] { fs::create_symlink("/dev/full", "DMP00002.png"); },
       "Started png file     1.\r\nStarted png file     2.\r\nERROR!!!\r\n"
       "Output path DMP00002.png is not available.\r\n",
       {"DMP00001.png"},
       &big_cut},
  };
  for (const output_failure_case& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    c.prepare();
    carve_run run = carve_bytes(c.container ? *c.container : one + other + one + other);
    EXPECT_EQ(run.outcome, scan_outcome::output_not_available);
    EXPECT_EQ(run.messages, c.messages);
    std::vector<std::string> left;
    for (const auto& [name, data] : run.files) {
      left.push_back(name);
      EXPECT_EQ(data, name == "DMP00002.png" ? other : one) << name;
    }
    EXPECT_EQ(left, c.files_left);
    EXPECT_TRUE(fs::exists("/dev/full"));
  }
}

// Run where the container's own name, or a link to it, is an output name.
TEST(extract, never_writes_over_the_container) {
  struct container_case {
    const char* name;
    const char* container;
    const char* link;  // a second name for the container, or none
    std::string messages;
  };
  const container_case cases[] = {
      {"container is the first output", "DMP00001.png", nullptr,
       "Output path DMP00001.png is not available.\r\n"},
      {"symbolic link to the container", "archive.qvz", "DMP00002.png",
       "Started png file     1.\r\nOutput path DMP00002.png is not available.\r\n"},
      {"hard link to the container", "archive.qvz", "DMP00001.png",
       "Output path DMP00001.png is not available.\r\n"},
  };
  const bytes container = one + other;
  for (const container_case& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    write_file(c.container, container);
    if (c.link && std::string(c.name).find("symbolic") != std::string::npos) {
      fs::create_symlink(c.container, c.link);
    } else if (c.link) {
      fs::create_hard_link(c.container, c.link);
    }
    input_stream in;
    ASSERT_TRUE(open_input(in, c.container));
    scan_state state;
    report_target target = {captured_stream(), nullptr};
    EXPECT_EQ(scan_for_images(in, state, {in.identity, {}}, print_events_to(target)),
              scan_outcome::output_not_available);
    close_input(in);
    EXPECT_EQ(captured_text(target.messages), c.messages);
    EXPECT_EQ(read_bytes(c.container), container);
  }
}

}  // namespace
