#include "cli/command_line.hpp"

#ifdef _WIN32
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>
#endif

namespace {

// The first argument as the narrow command line holds it.
bool narrow_argument(int argc, char** argv, container_arg* arg) {
  if (argc < 2) {
    return false;
  }
  arg->path = argv[1];
  arg->shown = argv[1];
  return true;
}

}  // namespace

#ifdef _WIN32

namespace {

std::string code_page_text(const wchar_t* wide) {
  int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) {
    return std::string();
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size - 1));  // without the terminator
  return text;
}

}  // namespace

bool container_from_command_line(int argc, char** argv, container_arg* arg) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    return narrow_argument(argc, argv, arg);
  }
  const bool named = count >= 2;
  if (named) {
    arg->path = std::filesystem::path(wide[1]);
    arg->shown = code_page_text(wide[1]);
  }
  LocalFree(wide);
  return named;
}

#else  // A POSIX path is bytes, and any bytes open.

bool container_from_command_line(int argc, char** argv, container_arg* arg) {
  return narrow_argument(argc, argv, arg);
}

#endif
