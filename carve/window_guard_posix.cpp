#include "carve/window_guard.hpp"

#include <csetjmp>
#include <csignal>

namespace {

struct guard_frame {
  const char* begin;
  const char* end;
  sigjmp_buf jump;
  const char* volatile fault;
};

// A signal handler sees no state but a global one; this and the action it
// replaced are the tool's only globals, and only the guard touches them.
guard_frame* volatile active = nullptr;
struct sigaction replaced;

void on_sigbus(int signal, siginfo_t* info, void*) {
  guard_frame* frame = active;
  const char* address = static_cast<const char*>(info->si_addr);
  if (frame != nullptr && address >= frame->begin && address < frame->end) {
    frame->fault = address;
    siglongjmp(frame->jump, 1);
  }
  // Not a page of the window being read: die of it, as without the guard.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

bool arm_window_guard() {
  struct sigaction action = {};
  action.sa_sigaction = on_sigbus;
  // SA_NODEFER: the jump out leaves SIGBUS unblocked, with no mask to save
  // and restore around every guarded read.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, &replaced) == 0;
}

void disarm_window_guard() {
  sigaction(SIGBUS, &replaced, nullptr);
}

bool run_guarded(const void* window, std::size_t window_size, window_leaf leaf,
                 const unsigned char* data, std::size_t size, void* context, std::size_t* result,
                 std::ptrdiff_t* fault) {
  guard_frame frame;
  frame.begin = static_cast<const char*>(window);
  frame.end = frame.begin + window_size;
  frame.fault = nullptr;
  if (sigsetjmp(frame.jump, 0) == 0) {
    active = &frame;
    *result = leaf(data, size, context);
    active = nullptr;
    return true;
  }
  active = nullptr;
  *fault = frame.fault - reinterpret_cast<const char*>(data);
  return false;
}
