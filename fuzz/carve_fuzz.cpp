// Feeds arbitrary containers to the carve code in-process and checks every
// output byte, message and count against the byte-at-a-time model.
//
// The first input byte picks how the container is read (stream or mapped
// file, and the block size), the second where a stream fails; the rest is
// the container.

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "../tests/support.hpp"

namespace {

void clear_outputs() {
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path());
  }
}

bool same(const carve_run& a, const carve_run& b) {
  return a.outcome == b.outcome && a.messages == b.messages &&
         a.state.testcount == b.state.testcount && a.state.image_count == b.state.image_count &&
         a.bytes_read == b.bytes_read && a.files == b.files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static scratch_dir dir;  // outputs go to a private directory, removed at exit
  if (size < 2) {
    return 0;
  }
  const bytes container(data + 2, data + size);
  const std::size_t block = 1 + data[0] / 4 % 64;
  const bool mapped = data[0] % 4 == 3;
  const std::size_t fail_at = data[1] < 128 ? SIZE_MAX : (data[1] - 128u) * container.size() / 127;
  clear_outputs();
  carve_run run =
      mapped ? carve_file(container, {block, 4096}) : carve_bytes(container, block, fail_at);
  carve_run model = model_carve(container, mapped ? SIZE_MAX : fail_at);
  if (!same(run, model)) {
    std::fprintf(stderr, "carve and model disagree:\n%s---\n%s", run.messages.c_str(),
                 model.messages.c_str());
    std::abort();
  }
  return 0;
}
