#include "carve/file_identity.hpp"

bool names_file(const char* name, const file_identity& file) {
  if (!file.known) {
    return false;  // no look-up when there is nothing to compare with
  }
  const file_identity other = identify_name(name);
  if (other.known && other.volume == file.volume && other.index == file.index) {
    return true;
  }
  // Two nodes of one disk: writing through either overwrites the other.
  return file.block_device && other.block_device && file.disk == other.disk;
}
