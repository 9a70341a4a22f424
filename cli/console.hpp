#ifndef QVZ2PNG_CLI_CONSOLE_HPP
#define QVZ2PNG_CLI_CONSOLE_HPP

#include <cstdio>

// What a standard stream reaches, where a person may be watching.

// Whether the stream is a console (a terminal), not a file, a pipe or a
// device such as /dev/null or NUL.
bool is_console(std::FILE* stream);

// The console's width in columns; 0 when it cannot be told.
int console_columns(std::FILE* stream);

// Whether the process may write to the console now without getting in a
// person's way: not while it is a background job of the terminal that the
// stream is (it would draw over the shell, or be stopped for writing). A
// console that is not the process's controlling terminal has no jobs for
// it, and Windows none at all: there it always may.
bool in_foreground(std::FILE* stream);

#endif
