#include <io.h>
#include <windows.h>

#include "carve/file_identity.hpp"

namespace {

// The volume's serial number and the file index, as the system keeps them
// for every open file; a console or a pipe has none.
file_identity identity_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  file_identity id;
  if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
    id.known = true;
    id.volume = info.dwVolumeSerialNumber;
    id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  }
  return id;
}

}  // namespace

file_identity identify_file(std::FILE* stream) {
  const int fd = stream != nullptr ? _fileno(stream) : -1;
  return fd >= 0 ? identity_of(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) : file_identity{};
}

// No access asked, every sharing mode allowed: only to read its identity.
// Backup semantics let a directory open too.
file_identity identify_name(const char* name) {
  HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const file_identity id = identity_of(handle);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
  }
  return id;
}
