#ifndef QVZ2PNG_CLI_CONSOLE_HPP
#define QVZ2PNG_CLI_CONSOLE_HPP

#include <cstdio>

// What a standard stream reaches, where a person may be watching.

// Whether the stream is a console (a terminal), not a file, a pipe or a
// device such as /dev/null or NUL.
bool is_console(std::FILE* stream);

// The console's width in columns; 0 when it cannot be told.
int console_columns(std::FILE* stream);

// Whether both streams reach one console, so that a text written to one
// lands on the line that the other has drawn.
bool same_console(std::FILE* a, std::FILE* b);

#endif
