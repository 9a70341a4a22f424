#ifndef QVZ2PNG_CARVE_WINDOW_GUARD_HPP
#define QVZ2PNG_CARVE_WINDOW_GUARD_HPP

#include <cstddef>

// Reading a mapped window whose file another program may shorten meanwhile:
// the pages past the new end vanish, and touching one raises SIGBUS. The
// guard turns that signal, for an address inside the window being read, into
// a return; any other SIGBUS stays fatal.

// Work done over bytes of a window: returns a count of its own (bytes
// consumed). It must hold nothing that needs destroying, since a fault
// abandons it midway.
using window_leaf = std::size_t (*)(const unsigned char* data, std::size_t size, void* context);

// Installs the SIGBUS handler; false when it cannot be (then map nothing).
bool arm_window_guard();
// Puts back the handler that was there before.
void disarm_window_guard();

// Runs leaf(data, size, context), where data lies in the mapped range
// [window, window + window_size), and sets *result to what it returns.
// False when a page of the range turned out to be gone: the leaf was
// abandoned, and *fault is the offset from data of the byte it touched.
bool run_guarded(const void* window, std::size_t window_size, window_leaf leaf,
                 const unsigned char* data, std::size_t size, void* context, std::size_t* result,
                 std::ptrdiff_t* fault);

#endif
