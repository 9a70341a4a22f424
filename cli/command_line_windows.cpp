// windows.h first: shellapi.h needs its types.
#include <windows.h>

#include <shellapi.h>

#include "cli/command_line.hpp"

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
