#include "carve/input_stream.hpp"

#include <algorithm>

bool open_input(input_stream& in, const char* path, std::size_t buffer_size) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return false;
  }
  // Our own buffer does the buffering; a second one in the stream would
  // only copy every byte once more.
  std::setvbuf(file, nullptr, _IONBF, 0);
  use_input(in, file, buffer_size);
  in.path = path;
  return true;
}

void use_input(input_stream& in, std::FILE* file, std::size_t buffer_size) {
  in.file = file;
  in.path.clear();
  in.buffer.assign(std::max<std::size_t>(buffer_size, 1), 0);
  in.pos = 0;
  in.len = 0;
  in.end_of_input = false;
  in.read_error = false;
}

void close_input(input_stream& in) {
  // Nothing was written to the container, so a failing close loses nothing.
  if (in.file != nullptr) {
    std::fclose(in.file);
  }
  in.file = nullptr;
}

bool refill(input_stream& in) {
  if (in.end_of_input || in.read_error) {
    return false;
  }
  // The stream's own indicators are sticky: once a block read has met the
  // end or a failure, the byte after the last one delivered is where a
  // byte-at-a-time reader would have met it too.
  if (!std::ferror(in.file) && !std::feof(in.file)) {
    in.len = std::fread(in.buffer.data(), 1, in.buffer.size(), in.file);
    in.pos = 0;
    if (in.len > 0) {
      return true;
    }
  }
  in.pos = in.len = 0;
  if (std::ferror(in.file)) {
    in.read_error = true;
  } else {
    in.end_of_input = true;
  }
  return false;
}

std::size_t peek_bytes(input_stream& in, std::size_t max, const unsigned char** data) {
  if (in.pos == in.len && !refill(in)) {
    return 0;
  }
  *data = in.buffer.data() + in.pos;
  return std::min(max, in.len - in.pos);
}
