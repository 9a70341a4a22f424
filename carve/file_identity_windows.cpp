#include <io.h>
#include <windows.h>

#include "carve/file_identity.hpp"

// The volume's serial number and the file index, as the system keeps them
// for every open file; a console or a pipe has none.
file_identity identify_descriptor(int fd) {
  const HANDLE handle =
      fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
  BY_HANDLE_FILE_INFORMATION info;
  file_identity id;
  if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
    id.known = true;
    id.volume = info.dwVolumeSerialNumber;
    id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    id.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  return id;
}

file_identity identify_file(std::FILE* stream) {
  return identify_descriptor(stream != nullptr ? _fileno(stream) : -1);
}
