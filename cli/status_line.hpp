#ifndef QVZ2PNG_CLI_STATUS_LINE_HPP
#define QVZ2PNG_CLI_STATUS_LINE_HPP

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// How far a long run has got, for a person at a console: one line on
// standard error, drawn only when that is a console and the run is not a
// background job there, first after about a second, then redrawn in place
// at most four times a second, never wider than the console is now. It is
// no text of the report: it is erased before each report text that goes to
// a console, and at the end, so the console is left showing the report
// alone.

// What the line shows.
struct status_figures {
  std::uint64_t bytes_read = 0;
  std::uint64_t size = 0;  // the container's; 0 when unknown (a pipe)
  std::int64_t images = 0;
  double rate = 0;           // bytes a second, of the last few seconds
  double seconds_left = -1;  // negative: not known yet
};

// The line's text, at most columns - 1 wide (79 when columns is 0,
// unknown), so that it never wraps; the fields that do not fit are left off
// from the right. Each field keeps its width as its value changes.
std::string status_text(const status_figures& figures, int columns);

struct status_line {
  std::FILE* console = nullptr;  // where it is drawn; null: nowhere
  std::FILE* report = nullptr;   // the report's stream, when it is a console too
  std::uint64_t size = 0;
  std::int64_t images = 0;
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point next_draw;
  std::chrono::steady_clock::time_point sampled;  // the rate's last sample
  std::uint64_t sampled_bytes = 0;
  double rate = -1;    // negative before the first sample
  bool shown = false;  // drawn, and not erased since
};

// A status line for a container of the given size (0: unknown), drawn on
// console only if that is a console; report is the stream the report goes to.
status_line start_status_line(std::FILE* console, std::FILE* report, std::uint64_t size);

// Told how far the reading has got; draws when it is time to.
void update_status_line(status_line& line, std::uint64_t bytes_read);

// Before a text of the report: erases the line where the text would land on it.
void clear_for_report(status_line& line);

// Erases the line, if it is shown.
void erase_status_line(status_line& line);

#endif
