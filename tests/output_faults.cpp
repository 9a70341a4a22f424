// Preloaded into the tool by end-to-end tests to meet its output files
// with what another process could do to them meanwhile: with
// QVZ2PNG_SWAP_NAME and QVZ2PNG_SWAP_TO set, the name is made a symbolic
// link to the other path right before the tool opens it without O_EXCL (a
// name that it found taken); with QVZ2PNG_KEEP_NAME set, removing that name
// fails, as in a folder that lets files be created but not removed.

// The shim defines open and open64 each under its own name, which the
// 64-bit offset renaming of the headers would merge.
#undef _FILE_OFFSET_BITS

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool named(const char* variable, const char* path) {
  const char* name = std::getenv(variable);
  return name != nullptr && std::strcmp(name, path) == 0;
}

int open_after_swap(const char* symbol, const char* path, int flags, mode_t mode) {
  static auto real = reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, symbol));
  if ((flags & O_EXCL) == 0 && named("QVZ2PNG_SWAP_NAME", path)) {
    unlink(path);
    if (symlink(std::getenv("QVZ2PNG_SWAP_TO"), path) != 0) {
      std::abort();
    }
  }
  return real(path, flags, mode);
}

mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return open_after_swap("open64", path, flags, mode);
}

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return open_after_swap("open", path, flags, mode);
}

extern "C" int remove(const char* path) {
  static auto real = reinterpret_cast<int (*)(const char*)>(dlsym(RTLD_NEXT, "remove"));
  if (named("QVZ2PNG_KEEP_NAME", path)) {
    errno = EACCES;
    return -1;
  }
  return real(path);
}
