#include "carve/file_identity.hpp"

bool same_file(const file_identity& a, const file_identity& b) {
  if (!a.known || !b.known) {
    return false;
  }
  // Two nodes of one disk: writing through either overwrites the other.
  return (a.volume == b.volume && a.index == b.index) ||
         (a.block_device && b.block_device && a.disk == b.disk);
}
