#ifndef QVZ2PNG_TESTS_SUPPORT_HPP
#define QVZ2PNG_TESTS_SUPPORT_HPP

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "carve/carve.hpp"
#include "cli/report.hpp"

using bytes = std::vector<unsigned char>;

bytes operator+(bytes a, const bytes& b);
bytes repeat(unsigned char value, std::size_t count);
bytes text(const std::string& s);

// A chunk as a PNG file lays it out; the CRC is 4 arbitrary bytes, since
// nothing in the tool verifies it.
bytes chunk(const std::string& type, const bytes& data);
bytes chunk_with_length(std::uint32_t length, const std::string& type, const bytes& data);
// Only the 8 bytes of a chunk's length and type.
bytes chunk_header(std::uint32_t length, const std::string& type);
bytes signature();
// A small PNG file: signature, IHDR, IDAT with the given data, IEND.
bytes png(const bytes& idat = text("pixels"));

std::string read_file(const std::filesystem::path& path);
bytes read_bytes(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const bytes& data);

// The text of everything written to a stream opened by captured_stream().
std::FILE* captured_stream();
std::string captured_text(std::FILE* stream);

// A readable stream over data that fails with a read error once fail_at
// bytes have been delivered (never, when fail_at is past the end).
std::FILE* stream_over(const bytes& data, std::size_t fail_at = SIZE_MAX);

// A readable stream of zero_count zero bytes followed by tail, made up as it
// is read, so that tests can carve containers larger than memory.
std::FILE* generated_stream(std::uint64_t zero_count, const bytes& tail);

// What a carving run did: its outcome, messages, counters, the bytes it told
// the listener it had read (all ones when a report did not rise above the
// one before) and the output files found in the current directory
// afterwards.
struct carve_run {
  scan_outcome outcome = scan_outcome::end_of_input;
  std::string messages;
  scan_state state;
  std::uint64_t bytes_read = 0;
  std::map<std::string, bytes> files;
};

carve_run carve_stream(std::FILE* container, std::size_t buffer_size = input_options{}.buffer_size);
carve_run carve_bytes(const bytes& container, std::size_t buffer_size = input_options{}.buffer_size,
                      std::size_t fail_at = SIZE_MAX);
// A clock that moves on by random steps, so that the choice between
// mapping and reading each stretch of a file falls at random.
std::uint64_t random_clock();

// Carves the container written to a regular file, opened by its path; with
// shrink_to, the file is shortened to that size once the first block is held.
carve_run carve_file(const bytes& container, const input_options& options,
                     std::size_t shrink_to = SIZE_MAX);

// The carving of a container done the plain way, one byte at a time, by
// the attempt rule in scanner.hpp, with an image ending at a chunk header
// whose type is not four letters, or right before a signature among its
// bytes. Writes no files.
carve_run model_carve(const bytes& container, std::size_t fail_at = SIZE_MAX);

// A container of random pieces: random bytes, PNGs whole and cut off,
// partial signatures, runs of 137, false signatures with wild lengths and
// types, PNGs split by foreign bytes that hold a PNG, and false starts
// whose lengths run past the end with a PNG behind them.
bytes random_container(std::uint64_t seed);

// Makes a fresh directory, makes it current for the test, removes it after.
struct scratch_dir {
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  std::filesystem::path path;
  std::filesystem::path previous;
};

#endif
