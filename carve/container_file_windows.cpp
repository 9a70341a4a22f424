#include <io.h>
#include <windows.h>
#include <winioctl.h>

#include "carve/container_file.hpp"

// The path is wide, so names outside the system code page open too.
std::FILE* open_container(const std::filesystem::path& path) {
  // S: a sequential scan, for which Windows reads further ahead.
  return _wfopen(path.c_str(), L"rbS");
}

// A Windows pipe's size is set by whoever makes it.
void widen_pipe(std::FILE*) {}

// A file tells its size; a disk or a volume (\\.\PhysicalDrive0, \\.\C:)
// tells its length when asked through its driver: asked for its size, it
// may fail or answer 0 (Wine's drives do).
std::uint64_t container_size(std::FILE* file) {
  const int fd = file != nullptr ? _fileno(file) : -1;
  const HANDLE handle =
      fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
    return 0;
  }
  LARGE_INTEGER size;
  if (GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  GET_LENGTH_INFORMATION length;
  DWORD got = 0;
  return DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                         &got, nullptr)
             ? static_cast<std::uint64_t>(length.Length.QuadPart)
             : 0;
}
