// Where files are not read by offset (Windows), every container goes
// through its stream: nothing is ever mapped.

#include "carve/file_window.hpp"

bool attach_file_window(file_window&, std::FILE*, std::size_t) {
  return false;
}

std::ptrdiff_t fill_from_file(file_window&, unsigned char*, std::size_t, const unsigned char**) {
  return -1;
}

void release_window(file_window&) {}

void detach_file_window(file_window&) {}

bool at_stretch_start(const file_window&) {
  return false;
}

void read_stretch(file_window&) {}

void halve_next_stretch(file_window&) {}

std::size_t read_window(file_window&, const unsigned char* data, std::size_t* size,
                        window_leaf leaf, void* context) {
  return leaf(data, *size, context);
}
