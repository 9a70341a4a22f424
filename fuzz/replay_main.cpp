// Runs the fuzz target over the files named on the command line, without
// libFuzzer, so that the corpus and any crashing input replay in an
// ordinary build.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg = std::filesystem::absolute(argv[i]);
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        inputs.push_back(entry.path());
      }
    } else {
      inputs.push_back(arg);
    }
    for (const auto& input : inputs) {
      std::ifstream in(input, std::ios::binary);
      std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++replayed;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
