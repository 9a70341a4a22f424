#ifndef QVZ2PNG_CLI_CONSOLE_HPP
#define QVZ2PNG_CLI_CONSOLE_HPP

#include <cstdio>
#include <string>

// What a standard stream reaches, where a person may be watching.

// Whether the stream is a console (a terminal), not a file, a pipe or a
// device such as /dev/null or NUL.
bool is_console(std::FILE* stream);

// The console's width in columns; 0 when it cannot be told.
int console_columns(std::FILE* stream);

// Writes text over the console's current row from its first column, and
// clears the rest of the row, however wide the console is now: a console
// narrowed meanwhile has cut its last row at the new width, and its last
// column keeps a character of it that writing spaces up to the width
// would not reach.
void write_row(std::FILE* stream, const std::string& text);

// Whether the process may write to the console now without getting in a
// person's way: not while it is a background job of the terminal that the
// stream is (it would draw over the shell, or be stopped for writing). A
// console that is not the process's controlling terminal has no jobs for
// it, and Windows none at all: there it always may.
bool in_foreground(std::FILE* stream);

#endif
