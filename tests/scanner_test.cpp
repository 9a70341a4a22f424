// Carving containers built in memory, at every buffer size that puts a
// signature, a chunk header or an IEND across the buffer's edge.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <numeric>
#include <random>

#include "carve/pair_scan.hpp"
#include "carve/window_guard.hpp"
#include "support.hpp"

namespace {

struct carve_case {
  const char* name;
  bytes container;
  std::int64_t testcount;
  std::vector<bytes> images;  // DMP00001.png, DMP00002.png, ...
  std::string messages;
};

const bytes one = png();
const bytes other = png(text("other pixels"));
const bytes sig_rest = bytes(one.begin() + 1, one.end());  // one without its first byte

std::string started(int n) {
  return "Started png file     " + std::to_string(n) + ".\r\n";
}
const std::string finished = "FINISHED.\r\n";
const std::string cut = "ERROR!!!\r\n";

bytes bytes_before(const bytes& b, std::size_t end) {
  return bytes(b.begin(), b.begin() + static_cast<long>(end));
}

std::vector<carve_case> carve_cases() {
  const bytes cut_in_data = bytes(one.begin(), one.begin() + 30);
  const bytes no_iend = signature() + chunk("IHDR", text("0123456789abc"));
  const bytes wrap_none = signature() + chunk_header(0xFFFFFFFC, "wrap") + chunk("IEND", {});
  const bytes wrap_three =
      signature() + chunk_header(0xFFFFFFFF, "wrap") + text("abc") + chunk("IEND", {});
  // A signature in machine code: the bytes after it read as a huge length
  // and a type that no PNG has.
  auto false_start = [](const char* type) {
    return signature() + chunk_header(0x48392A75, std::string(type, 4));
  };
  const bytes code = text("\x48\x8b\x45\xf8");
  // An image whose IDAT data is split by 4 foreign bytes, as a database page
  // header splits a blob: the walk then lands 4 bytes short of IEND's header.
  const bytes split_whole = png(repeat('x', 100));
  const bytes split = bytes(split_whole.begin(), split_whole.begin() + 91) + text("page") +
                      bytes(split_whole.begin() + 91, split_whole.end());
  const bytes split_carved(split.begin(), split.begin() + 33 + 8 + 104 + 8);
  // The same split, with two whole images among the foreign bytes.
  const bytes split_over_two = bytes(split_whole.begin(), split_whole.begin() + 91) + text("page") +
                               one + other + bytes(split_whole.begin() + 91, split_whole.end());
  // Signatures that lie across the bytes the walk reads as one field and
  // the next: one within 2 bytes of data and the CRC, then into the next
  // header's length; one from the last 2 bytes of a header whose type is
  // no PNG's; one from the last 2 bytes of IEND's CRC. Each lies across
  // the edge of the first 4 KiB window on one of the mapped paths.
  const bytes crc_then_header = signature() + chunk_header(2, "IDAT") + text("ab") + one;
  const bytes bad_header_then_one = signature() + bytes{0, 0, 0, 5, 'a', 'b'} + one;
  const bytes iend_then_one = signature() + chunk_header(0, "IEND") + bytes{0xC0, 0xFF} + one;
  // One whose first 3 bytes end the extractor's first 64 KiB block.
  const bytes across_blocks = signature() + chunk("IHDR", text("0123456789abc")) +
                              chunk_header(70000, "IDAT") + repeat('x', 65536 - 3 - 41);
  const bytes mixed_case = signature() + chunk("IHDR", text("0123456789abc")) +
                           chunk("tEXt", text("key")) + chunk("iTXt", {}) + chunk("IEND", {});
  std::vector<carve_case> cases = {
      {"empty", {}, 1, {}, finished},
      {"three letters", text("ABC"), 4, {}, finished},
      {"partial signature at end", {137, 80, 78, 71}, 1, {}, finished},
      {"exactly one png", one, 2, {one}, started(1) + finished},
      {"png between zeros",
       repeat(0, 100) + one + repeat(0, 10),
       112,
       {one},
       started(1) + finished},
      {"two back to back", one + other, 3, {one, other}, started(1) + started(2) + finished},
      {"broken match ending in 137 restarts there",
       bytes{137, 80} + one,
       3,
       {one},
       started(1) + finished},
      {"lone 137 before a signature", bytes{137} + one, 3, {one}, started(1) + finished},
      {"run of 137s before a signature",
       repeat(137, 5) + one + text("x"),
       8,
       {one},
       started(1) + finished},
      {"signature broken by a non-137",
       bytes{137, 80, 78, 0} + one,
       3,
       {one},
       started(1) + finished},
      {"signature then end", signature(), 1, {signature()}, started(1) + cut + finished},
      {"cut inside chunk data", cut_in_data, 1, {cut_in_data}, started(1) + cut + finished},
      {"cut after a chunk that is not IEND",
       no_iend + text("AB"),
       1,
       {no_iend + text("AB")},
       started(1) + cut + finished},
      {"IEND with data",
       signature() + chunk("IEND", text("tail")) + text("Z"),
       3,
       {signature() + chunk("IEND", text("tail"))},
       started(1) + finished},
      {"lower-case iend does not end the image",
       signature() + chunk("iend", {}) + chunk("IEND", {}),
       2,
       {signature() + chunk("iend", {}) + chunk("IEND", {})},
       started(1) + finished},
      {"a signature inside an image begins the next image there",
       png(one) + one,
       20,
       {bytes_before(png(one), 41), one, one},
       started(1) + cut + started(2) + started(3) + finished},
      {"a split image's genuine length covers two whole ones",
       split_over_two,
       static_cast<std::int64_t>(split_whole.size() - 91) + 4,
       {bytes_before(split_over_two, 95), one, other},
       started(1) + cut + started(2) + started(3) + finished},
      {"a signature across a chunk's CRC and the next header",
       crc_then_header,
       3,
       {bytes_before(crc_then_header, 18), one},
       started(1) + cut + started(2) + finished},
      {"a signature begun in a bad chunk header goes on after it",
       bad_header_then_one,
       3,
       {bytes_before(bad_header_then_one, 16), one},
       started(1) + cut + started(2) + finished},
      {"a signature begun in IEND's CRC goes on after it",
       iend_then_one,
       3,
       {bytes_before(iend_then_one, 20), one},
       started(1) + started(2) + finished},
      {"a signature across two of the extractor's blocks",
       across_blocks + one,
       3,
       {across_blocks, one},
       started(1) + cut + started(2) + finished},
      {"length 2^32-4 wraps to no data", wrap_none, 2, {wrap_none}, started(1) + finished},
      {"length 2^32-1 wraps to 3 bytes",
       wrap_three + text("Q"),
       3,
       {wrap_three},
       started(1) + finished},
      {"image split by foreign bytes, then a whole one",
       split + one,
       static_cast<std::int64_t>(split.size() - split_carved.size()) + 3,
       {split_carved, one},
       started(1) + cut + started(2) + finished},
      {"types in mixed case go on", mixed_case, 2, {mixed_case}, started(1) + finished},
      {"a false start's length past the end swallows no image",
       signature() + chunk_with_length(0x7FFFFFFF, "wild", {}) + one,
       3,
       {signature() + chunk_with_length(0x7FFFFFFF, "wild", {}), one},
       started(1) + cut + started(2) + finished},
  };
  // A type holding a digit, a space, a control byte or a byte past 127 ends
  // the image; the one after it comes out whole.
  for (const char* type : {"IDA1", "ID T", "\x05IDA", "IDA\xC1"}) {
    cases.push_back({"false start with a type not of letters",
                     false_start(type) + code + one,
                     7,
                     {false_start(type), one},
                     started(1) + cut + started(2) + finished});
  }
  return cases;
}

// How a table case reaches the carver: through a stream, or as a regular
// file read by offset (mapped in windows, or read into the buffer), with
// prefix zero bytes before it to move it across a window's edge.
struct input_path {
  const char* name;
  bool file;
  input_options options;
  std::size_t prefix;
};

void PrintTo(const input_path& p, std::ostream* os) {
  *os << p.name;
}

class carve_table : public ::testing::TestWithParam<input_path> {};

TEST_P(carve_table, matches_expected_output) {
  const input_path& path = GetParam();
  for (const carve_case& c : carve_cases()) {
    SCOPED_TRACE(c.name);
    scratch_dir each;
    const bytes container = repeat(0, path.prefix) + c.container;
    carve_run run = path.file ? carve_file(container, path.options)
                              : carve_bytes(container, path.options.buffer_size);
    EXPECT_EQ(run.outcome, scan_outcome::end_of_input);
    EXPECT_EQ(run.messages, c.messages);
    EXPECT_EQ(run.state.testcount, c.testcount + static_cast<std::int64_t>(path.prefix));
    EXPECT_EQ(run.state.image_count, static_cast<std::int64_t>(c.images.size()));
    EXPECT_EQ(run.bytes_read, container.size());
    ASSERT_EQ(run.files.size(), c.images.size());
    for (std::size_t i = 0; i < c.images.size(); ++i) {
      EXPECT_EQ(run.files[output_name(static_cast<std::int64_t>(i + 1))], c.images[i]) << i;
    }
  }
}

// The model that the property tests and the fuzzer trust agrees with the
// table too.
TEST(carve_model, matches_expected_output) {
  for (const carve_case& c : carve_cases()) {
    SCOPED_TRACE(c.name);
    carve_run model = model_carve(c.container);
    EXPECT_EQ(model.messages, c.messages);
    EXPECT_EQ(model.state.testcount, c.testcount);
    ASSERT_EQ(model.files.size(), c.images.size());
    for (std::size_t i = 0; i < c.images.size(); ++i) {
      EXPECT_EQ(model.files[output_name(static_cast<std::int64_t>(i + 1))], c.images[i]) << i;
    }
  }
}

std::vector<input_path> input_paths() {
  std::vector<input_path> paths;
  for (std::size_t size : {1, 2, 3, 5, 7, 8, 9, 13, 64, 128 * 1024}) {
    paths.push_back({"stream", false, {size, 0}, 0});
  }
  for (std::size_t size : {1, 7, 128 * 1024}) {
    paths.push_back({"file read into buffer", true, {size, 0}, 0});
  }
  for (std::size_t shift : {0, 1, 3, 7, 8, 9, 12, 20, 33}) {
    paths.push_back({"file mapped", true, {128 * 1024, 4096}, shift == 0 ? 0 : 4096 - shift});
  }
  for (std::size_t shift : {0, 9}) {
    paths.push_back({"file mapped or read, stretch by stretch, at random",
                     true,
                     {1000, 4096, random_clock},
                     shift == 0 ? 0 : 4096 - shift});
  }
  return paths;
}

// Which way each stretch of a cached file is reached, M mapped or R read,
// as what each way costs a byte is measured.
TEST(map_or_read, goes_on_the_cheaper_way_and_tries_the_other_seldom) {
  // Each way twice, then the cheaper, but where tried.
  const auto ways = [](std::size_t stretches, char cheaper, std::vector<std::size_t> tries) {
    std::string expected = "MRMR" + std::string(stretches - 4, cheaper);
    for (std::size_t at : tries) {
      expected[at] = cheaper == 'M' ? 'R' : 'M';
    }
    return expected;
  };
  const struct {
    const char* name;
    double mapped, read;  // ns a byte; each stretch dearer than the one before when rising
    bool rising;
    std::size_t busy_at;  // a stretch that costs nine times as much (the machine busy); 0: none
    std::string ways;
  } cases[] = {
      {"mapping 3 times dearer: tried soon, then further apart", 3, 1, false, 0,
       ways(170, 'R', {16, 68, 169})},
      {"reading 1.5 times dearer: tried soon, then every 26th", 1, 1.5, false, 0,
       ways(119, 'M', {16, 42, 68, 94})},
      {"a thousand times dearer: tried all the same, 256 stretches apart at most", 1000, 1, false,
       0, ways(534, 'R', {16, 68, 276, 533})},
      {"the way in use dearer every stretch: left within a few", 1, 1, true, 0, "MRMRMMMMMR"},
      {"one stretch nine times dearer turns nothing", 1, 1.3, false, 8, ways(16, 'M', {})},
      {"the first stretch, dearer by far, counts for nothing", 1, 1.4, false, 0, ways(16, 'M', {})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    map_or_read choice;
    std::string taken;
    for (std::size_t i = 0; i < c.ways.size(); ++i) {
      const reach_way way = choose_way(choice);
      taken += way == reach_way::mapped ? 'M' : 'R';
      // The first stretch of a run is dear, as it is in fact.
      const double rise = c.rising ? static_cast<double>(i + 1) : i == 0 || i == c.busy_at ? 9 : 1;
      stretch_tally stretch = {way, true, times_next(choice), 1000, 0, 0, 0};
      stretch.fill_ns =
          static_cast<std::uint64_t>(1000 * rise * (way == reach_way::mapped ? c.mapped : c.read));
      weigh_stretch(choice, stretch);
      // A stretch read because it was not in memory says nothing of mapping.
      weigh_stretch(choice, {reach_way::read, false, true, 1000, 1, 0, 1});
    }
    EXPECT_EQ(taken, c.ways);
  }
}

INSTANTIATE_TEST_SUITE_P(inputs, carve_table, ::testing::ValuesIn(input_paths()));

// A read error wherever it strikes: bytes before it are carved, the image it
// cuts keeps what was read, and the run ends with "ERROR!".
TEST(carve_read_error, ends_the_run_wherever_it_strikes) {
  const bytes container = repeat(7, 20) + one + text("gap") + other + repeat(0, 5);
  for (std::size_t buffer_size : {1, 4, 9, 4096}) {
    for (std::size_t fail_at = 0; fail_at <= container.size(); ++fail_at) {
      SCOPED_TRACE(testing::Message() << "buffer " << buffer_size << " fail at " << fail_at);
      scratch_dir each;
      carve_run run = carve_bytes(container, buffer_size, fail_at);
      carve_run model = model_carve(container, fail_at);
      EXPECT_EQ(run.outcome, scan_outcome::read_error);
      EXPECT_EQ(run.messages.substr(run.messages.size() - 8), "ERROR!\r\n");
      EXPECT_EQ(run.messages, model.messages);
      EXPECT_EQ(run.state.testcount, model.state.testcount);
      EXPECT_EQ(run.files, model.files);
    }
  }
}

// A file shortened by another program while it is read, wherever the cut
// falls: in the window being scanned or copied from, at a window's end,
// within its last page (where no page past the end is left to fault on), or
// in a window not yet mapped. The run ends as a read error where the file
// now ends, as the byte-at-a-time model would, and the bus error's handler
// is the one from before the run.
TEST(carve_read_error, ends_the_run_where_a_shrinking_file_now_ends) {
  const bytes container = repeat('a', 10000) + png(repeat('x', 50000)) + repeat('b', 30000) +
                          png(text("tail")) + repeat('c', 70000);
  const input_options windows_of_64k = {4096, 64 * 1024};
  const std::pair<const char*, std::size_t> cases[] = {
      {"filler in the window being scanned", 4096},
      {"inside the image being copied, at a page", 20480},
      {"inside the image being copied, within a page", 30001},
      {"at the end of the window", 64 * 1024},
      {"within the window's last page", 64 * 1024 - 100},
      {"in a window not yet mapped", 70000},
  };
  for (const auto& [name, shrink_to] : cases) {
    SCOPED_TRACE(name);
    scratch_dir each;
    struct sigaction before = {};
    struct sigaction after = {};
    sigaction(SIGBUS, nullptr, &before);
    carve_run run = carve_file(container, windows_of_64k, shrink_to);
    carve_run model = model_carve(container, shrink_to);
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    EXPECT_EQ(run.outcome, scan_outcome::read_error);
    EXPECT_EQ(run.messages, model.messages);
    EXPECT_EQ(run.state.testcount, model.state.testcount);
    EXPECT_EQ(run.files, model.files);
  }
}

// The guard takes only faults inside the window being read: any other
// SIGBUS still ends the process, as it would without the guard.
TEST(carve_read_error, leaves_any_other_bus_error_fatal) {
  EXPECT_EXIT(
      {
        arm_window_guard();
        std::raise(SIGBUS);
      },
      testing::KilledBySignal(SIGBUS), "");
}

// The attempts the kernels settle in bulk, one byte at a time.
pair_scan_result pair_scan_model(const unsigned char* data, std::size_t size) {
  std::int64_t failed = 0;
  std::size_t i = 0;
  while (i < size) {
    if (data[i] == 137 && (i + 1 == size || data[i + 1] == 80)) {
      return {i, failed};
    }
    failed += 1;
    i += data[i] == 137 && data[i + 1] != 137 ? 2 : 1;
  }
  return {size, failed};
}

// Every kernel this processor runs, on blocks of every size up to a few
// rounds and on long ones, with 137s, 137 80 pairs and runs of 137 planted
// at every offset (every 997th of a long block), over a background free of
// 137, one dense with 137 and 80, and one of 137s that each swallow the next
// byte, which counts the most attempts that a kernel holds before it sums.
TEST(pair_scan, every_kernel_agrees_with_the_byte_at_a_time_rules) {
  const bytes planted[] = {{137}, {137, 80}, {137, 137}, {137, 0}, {137, 137, 137, 80}, {80, 137}};
  std::vector<std::size_t> sizes(201);
  std::iota(sizes.begin(), sizes.end(), 0);
  sizes.insert(sizes.end(), {8065, 16385, 40000});
  std::mt19937_64 rng{8980};
  for (const pair_scan_kernel& kernel : pair_scan_kernels()) {
    for (std::size_t size : sizes) {
      for (int background = 0; background < 3; ++background) {
        bytes block(size);
        for (std::size_t i = 0; i < size; ++i) {
          const unsigned dense[] = {137, 80, 137, static_cast<unsigned>(rng() % 256)};
          const unsigned swallowing[] = {137, static_cast<unsigned>(rng() % 80)};
          block[i] = static_cast<unsigned char>(background == 0   ? rng() % 136
                                                : background == 1 ? dense[rng() % 4]
                                                                  : swallowing[i % 2]);
        }
        for (const bytes& pattern : planted) {
          for (std::size_t at = 0; at<size; at += size> 200 ? 997 : 1) {
            bytes b = block;
            std::copy_n(pattern.begin(), std::min(pattern.size(), size - at), b.begin() + at);
            pair_scan_result got = kernel.scan(b.data(), size);
            pair_scan_result want = pair_scan_model(b.data(), size);
            ASSERT_EQ(got.stop, want.stop) << kernel.name << " size " << size << " at " << at;
            ASSERT_EQ(got.failed, want.failed) << kernel.name << " size " << size << " at " << at;
          }
        }
      }
    }
  }
}

TEST(carve_counts, stay_true_past_32_bits) {
  scratch_dir dir;
  const std::uint64_t zeros = (std::uint64_t{1} << 32) + 3;
  carve_run run = carve_stream(generated_stream(zeros, one));
  EXPECT_EQ(run.outcome, scan_outcome::end_of_input);
  EXPECT_EQ(run.state.testcount, static_cast<std::int64_t>(zeros) + 2);
  EXPECT_EQ(run.files["DMP00001.png"], one);
}

}  // namespace
