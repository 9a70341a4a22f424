#include "support.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

bytes operator+(bytes a, const bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bytes repeat(unsigned char value, std::size_t count) {
  return bytes(count, value);
}

bytes text(const std::string& s) {
  return bytes(s.begin(), s.end());
}

bytes chunk_header(std::uint32_t length, const std::string& type) {
  bytes out = {static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
               static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
  return out + text(type);
}

bytes chunk_with_length(std::uint32_t length, const std::string& type, const bytes& data) {
  return chunk_header(length, type) + data + bytes{0xC0, 0xFF, 0xEE, 0x42};
}

bytes chunk(const std::string& type, const bytes& data) {
  return chunk_with_length(static_cast<std::uint32_t>(data.size()), type, data);
}

bytes signature() {
  return bytes(std::begin(png_signature), std::end(png_signature));
}

bytes png(const bytes& idat) {
  bytes ihdr = {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
  return signature() + chunk("IHDR", ihdr) + chunk("IDAT", idat) + chunk("IEND", {});
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bytes read_bytes(const fs::path& path) {
  return text(read_file(path));
}

void write_file(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::FILE* captured_stream() {
  return std::tmpfile();
}

std::string captured_text(std::FILE* stream) {
  std::string all;
  std::fflush(stream);
  std::rewind(stream);
  char block[4096];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, stream)) > 0) {
    all.append(block, n);
  }
  std::fclose(stream);
  return all;
}

namespace {

struct memory_source {
  bytes data;
  std::size_t pos;
  std::size_t fail_at;
};

ssize_t read_memory(void* cookie, char* buf, std::size_t size) {
  auto* source = static_cast<memory_source*>(cookie);
  if (source->pos >= source->fail_at) {
    return -1;
  }
  std::size_t end = std::min({source->data.size(), source->fail_at, source->pos + size});
  std::size_t n = end - source->pos;
  if (n > 0) {
    std::memcpy(buf, source->data.data() + source->pos, n);
  }
  source->pos = end;
  return static_cast<ssize_t>(n);
}

struct generated_source {
  std::uint64_t zeros_left;
  bytes tail;
  std::size_t tail_pos;
};

ssize_t read_generated(void* cookie, char* buf, std::size_t size) {
  auto* source = static_cast<generated_source*>(cookie);
  if (source->zeros_left > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, source->zeros_left));
    std::memset(buf, 0, n);
    source->zeros_left -= n;
    return static_cast<ssize_t>(n);
  }
  std::size_t n = std::min(size, source->tail.size() - source->tail_pos);
  if (n > 0) {
    std::memcpy(buf, source->tail.data() + source->tail_pos, n);
  }
  source->tail_pos += n;
  return static_cast<ssize_t>(n);
}

template <typename Source>
int close_source(void* cookie) {
  delete static_cast<Source*>(cookie);
  return 0;
}

}  // namespace

std::FILE* stream_over(const bytes& data, std::size_t fail_at) {
  cookie_io_functions_t io = {read_memory, nullptr, nullptr, close_source<memory_source>};
  return fopencookie(new memory_source{data, 0, fail_at}, "rb", io);
}

std::FILE* generated_stream(std::uint64_t zero_count, const bytes& tail) {
  cookie_io_functions_t io = {read_generated, nullptr, nullptr, close_source<generated_source>};
  return fopencookie(new generated_source{zero_count, tail, 0}, "rb", io);
}

namespace {

void collect_outputs(carve_run& run) {
  for (const auto& entry : fs::directory_iterator(fs::current_path())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("DMP", 0) == 0 && entry.is_regular_file()) {
      run.files[name] = read_bytes(entry.path());
    }
  }
}

}  // namespace

namespace {

// The report's listener, with what the reading reports kept.
struct watched {
  carve_listener report;
  std::uint64_t bytes_read;
};

void forward_event(void* context, carve_event event, std::int64_t image) {
  tell(static_cast<watched*>(context)->report, event, image);
}

void keep_read(void* context, std::uint64_t bytes_read) {
  auto* watch = static_cast<watched*>(context);
  watch->bytes_read = bytes_read > watch->bytes_read ? bytes_read : UINT64_MAX;
}

carve_run carve_input(input_stream& in) {
  carve_run run;
  report_target target = {captured_stream(), nullptr};
  watched watch = {print_events_to(target), 0};
  const carve_listener listener = {forward_event, keep_read, &watch};
  run.outcome = scan_for_images(in, run.state, {in.identity, {}}, listener);
  close_input(in);
  run.messages = captured_text(target.messages);
  run.bytes_read = watch.bytes_read;
  collect_outputs(run);
  return run;
}

}  // namespace

carve_run carve_stream(std::FILE* container, std::size_t buffer_size) {
  input_stream in;
  use_input(in, container, buffer_size);
  return carve_input(in);
}

std::uint64_t random_clock() {
  static std::mt19937_64 rng{4711};
  static std::uint64_t now = 0;
  now += rng() % (std::uint64_t{1} << 20);
  return now;
}

carve_run carve_file(const bytes& container, const input_options& options, std::size_t shrink_to) {
  const fs::path path =
      fs::temp_directory_path() / ("qvz2png-container-" + std::to_string(getpid()));
  write_file(path, container);
  input_stream in;
  open_input(in, path, options);
  if (shrink_to != SIZE_MAX && refill(in)) {
    fs::resize_file(path, shrink_to);
  }
  carve_run run = carve_input(in);
  fs::remove(path);
  return run;
}

carve_run carve_bytes(const bytes& container, std::size_t buffer_size, std::size_t fail_at) {
  return carve_stream(stream_over(container, fail_at), buffer_size);
}

namespace {

// A byte-at-a-time reader over memory with sticky indicators.
struct model_input {
  const bytes& data;
  std::size_t fail_at;
  std::size_t pos = 0;
  bool end = false;
  bool error = false;

  int get() {
    if (end || error) {
      return -1;
    }
    if (pos >= fail_at) {
      error = true;
      return -1;
    }
    if (pos >= data.size()) {
      end = true;
      return -1;
    }
    return data[pos++];
  }
};

// Copies one image the way the extractor describes it, byte by byte, with
// every byte after the image's own signature matched against the signature:
// a whole one ends the image right before it. Returns how many signature
// bytes the image's last bytes hold, 8 for a whole one.
int model_extract(model_input& in, carve_run& run) {
  run.state.image_count += 1;
  char started[64];
  std::snprintf(started, sizeof started, "Started png file %5lld.\r\n",
                static_cast<long long>(run.state.image_count));
  run.messages += started;
  bytes& out = run.files[output_name(run.state.image_count)];
  out = signature();
  int matched = 0;
  // The next byte of the image; false, with the image ended, when there is
  // none or it completes a signature.
  auto next = [&](unsigned char* byte) {
    int got = in.get();
    if (got >= 0) {
      *byte = static_cast<unsigned char>(got);
      out.push_back(*byte);
      matched = *byte == png_signature[matched] ? matched + 1 : *byte == png_signature[0] ? 1 : 0;
      if (matched < 8) {
        return true;
      }
      out.resize(out.size() - 8);
    }
    run.messages += "ERROR!!!\r\n";
    return false;
  };
  for (bool more = true; more;) {
    unsigned char header[8];
    for (unsigned char& byte : header) {
      if (!next(&byte)) {
        return matched;
      }
    }
    if (!is_chunk_type(header + 4)) {
      run.messages += "ERROR!!!\r\n";  // no PNG, or no longer one
      return matched;
    }
    more = std::memcmp(header + 4, "IEND", 4) != 0;
    std::uint32_t count = load_be32(header) + 4u;
    for (std::uint32_t i = 0; i < count; ++i) {
      unsigned char byte;
      if (!next(&byte)) {
        return matched;
      }
    }
  }
  return matched;
}

}  // namespace

carve_run model_carve(const bytes& container, std::size_t fail_at) {
  carve_run run;
  run.bytes_read = std::min(container.size(), fail_at);  // every byte before a failure
  model_input in{container, fail_at};
  int begun = 0;  // signature bytes matched before the attempt begins
  for (;;) {
    int i = begun;
    begun = 0;
    while (i < 8) {
      int byte = in.get();
      if (byte != png_signature[i]) {
        begun = i > 0 && byte == png_signature[0] ? 1 : 0;
        break;
      }
      ++i;
    }
    run.state.testcount += 1;
    if (i == 8) {
      begun = model_extract(in, run);
    }
    if (in.error) {
      run.messages += "ERROR!\r\n";
      run.outcome = scan_outcome::read_error;
      return run;
    }
    if (in.end) {
      run.messages += "FINISHED.\r\n";
      return run;
    }
  }
}

bytes random_container(std::uint64_t seed) {
  std::mt19937_64 rng{seed};
  auto below = [&rng](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };
  auto random_bytes = [&](std::size_t n) {
    bytes b(n);
    for (auto& byte : b) {
      byte = below(4) == 0 ? png_signature[below(8)] : static_cast<unsigned char>(rng());
    }
    return b;
  };
  const std::uint32_t wild_lengths[] = {0x7FFFFFFF, 0xFFFFFFFC, 0xFFFFFFFD, 0xFFFFFFFF, 1000, 5};
  // Types of letters go on being followed; the others end the image.
  const char* wild_types[] = {"wild", "wIlD", "w1ld", "wi d", "\x01ild", "wil\xC4"};
  const bytes sig = signature();
  bytes out;
  for (std::size_t pieces = 1 + below(8); pieces > 0; --pieces) {
    const bytes image = png(random_bytes(below(200)));
    switch (below(10)) {
      case 0:
        out = out + random_bytes(below(300));
        break;
      case 1:
        out = out + image;
        break;
      case 2:
        out = out + bytes(image.begin(), image.begin() + static_cast<long>(below(image.size())));
        break;
      case 3:
        out = out + bytes(sig.begin(), sig.begin() + 1 + static_cast<long>(below(7)));
        break;
      case 4:
        out = out + repeat(137, 1 + below(5));
        break;
      case 5:
        out = out + signature() + chunk_header(wild_lengths[below(6)], wild_types[below(6)]) +
              random_bytes(below(20));
        break;
      case 6:
        out = out + signature() + chunk("IEND", random_bytes(below(10)));
        break;
      case 7: {
        // Split inside its IDAT data by foreign bytes that hold a PNG.
        const long at = 41 + static_cast<long>(below(image.size() - 56));
        out = out + bytes(image.begin(), image.begin() + at) + random_bytes(below(20)) +
              png(random_bytes(below(50))) + random_bytes(below(20)) +
              bytes(image.begin() + at, image.end());
        break;
      }
      case 8:
        // A false start whose length runs past the end, a PNG behind it.
        out = out + signature() + chunk_header(wild_lengths[below(4)], "wild") +
              random_bytes(below(20)) + image;
        break;
      default:
        out = out + bytes{137, 80} + image;
        break;
    }
  }
  return out;
}

scratch_dir::scratch_dir() {
  static std::mt19937_64 names{std::random_device{}()};
  previous = fs::current_path();
  do {
    path = fs::temp_directory_path() / ("qvz2png-test-" + std::to_string(names()));
  } while (!fs::create_directory(path));
  fs::current_path(path);
}

scratch_dir::~scratch_dir() {
  fs::current_path(previous);
  std::error_code ec;
  fs::remove_all(path, ec);
}
