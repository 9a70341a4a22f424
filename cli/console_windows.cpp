#include <io.h>
#include <windows.h>

#include "cli/console.hpp"

namespace {

HANDLE handle_of(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
}

}  // namespace

// Only a console has a console mode; NUL, which the C library's _isatty
// takes for one, has none.
bool is_console(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(handle_of(stream), &mode) != 0;
}

int console_columns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(handle_of(stream), &info)) {
    return 0;
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

// The console's own call clears the rest of the row: a console without
// virtual-terminal processing would print an escape sequence as it is.
void write_row(std::FILE* stream, const std::string& text) {
  const std::string row = "\r" + text;
  std::fwrite(row.data(), 1, row.size(), stream);
  std::fflush(stream);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(handle_of(stream), &info) &&
      info.dwCursorPosition.X < info.dwSize.X) {
    DWORD cleared = 0;
    FillConsoleOutputCharacterW(handle_of(stream), L' ',
                                static_cast<DWORD>(info.dwSize.X - info.dwCursorPosition.X),
                                info.dwCursorPosition, &cleared);
  }
}

// Windows has no job control.
bool in_foreground(std::FILE*) {
  return true;
}
