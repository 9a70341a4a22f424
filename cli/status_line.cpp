#include "cli/status_line.hpp"

#include <cinttypes>
#include <cmath>

#include "cli/console.hpp"

namespace {

using clock = std::chrono::steady_clock;

constexpr auto first_draw_after = std::chrono::seconds(1);  // a short run never shows it
constexpr auto redraw_every = std::chrono::milliseconds(250);
constexpr double rate_memory_seconds = 2;      // how far back the rate looks, roughly
constexpr double time_left_after_seconds = 3;  // the rate has settled by then
constexpr int unknown_columns = 80;

double seconds(clock::duration span) {
  return std::chrono::duration<double>(span).count();
}

// Bytes in binary units with one decimal, right-aligned in width columns
// before the unit: "  12.4 GiB".
std::string size_text(double bytes, int width = 6) {
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = bytes / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%*.1f %s", width, value, units[unit]);
  return text;
}

// Capped at a thousand hours, which no estimate means any more.
std::string time_left_text(double left) {
  const auto whole = static_cast<long long>(std::ceil(std::fmin(left, 3600e3)));
  char text[48];
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lld s left", whole);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld min left", (whole + 59) / 60);
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min left", whole / 3600, whole % 3600 / 60);
  }
  return text;
}

// Rounded down, so that 100.0% means all of it.
std::string share_text(std::uint64_t part, std::uint64_t whole) {
  const double tenths = std::floor(1000.0 * static_cast<double>(part) / static_cast<double>(whole));
  char text[16];
  std::snprintf(text, sizeof text, "%5.1f%%", std::fmin(tenths, 1000) / 10);
  return text;
}

std::string images_text(std::int64_t images) {
  char text[40];
  std::snprintf(text, sizeof text, "%6" PRId64 " %s", images, images == 1 ? "image " : "images");
  return text;
}

// The columns a line may take on a console of the given width without
// wrapping: a narrower console would wrap the rest onto a row of its own,
// and that row would stay behind.
std::size_t within(int columns) {
  return static_cast<std::size_t>(columns > 0 ? columns : unknown_columns) - 1;
}

// Where the report shares the console, what it has printed reaches the
// console before the line is drawn after it (a failed flush leaves the
// stream's error set, and the run's status says so at the end). The rest
// of the row is cleared, whatever the last line left there; a line that
// cannot be drawn costs the run nothing, being no part of the report.
void draw(status_line& line, const std::string& text) {
  if (line.report != nullptr) {
    std::fflush(line.report);
  }
  write_row(line.console, text);
  line.shown = true;
}

// The rate of the last few seconds: each sample weighs by the time it
// covers, and older ones fade.
void sample_rate(status_line& line, clock::time_point now, std::uint64_t bytes_read) {
  const double span = seconds(now - line.sampled);
  if (span <= 0) {
    return;
  }
  const double recent = static_cast<double>(bytes_read - line.sampled_bytes) / span;
  line.rate = line.rate < 0
                  ? recent
                  : line.rate + (recent - line.rate) * (1 - std::exp(-span / rate_memory_seconds));
  line.sampled = now;
  line.sampled_bytes = bytes_read;
}

}  // namespace

std::string status_text(const status_figures& figures, int columns) {
  const std::size_t room = within(columns);
  const bool sized = figures.size > 0;
  std::string fields[5];
  std::size_t count = 0;
  if (sized) {
    fields[count++] = share_text(figures.bytes_read, figures.size);
  }
  fields[count++] =
      size_text(static_cast<double>(figures.bytes_read)) +
      (sized ? " of " + size_text(static_cast<double>(figures.size), 0) : std::string(" read"));
  fields[count++] = images_text(figures.images);
  fields[count++] = size_text(figures.rate) + "/s";
  if (sized && figures.seconds_left >= 0) {
    fields[count++] = time_left_text(figures.seconds_left);
  }
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t wider = text.size() + (i > 0 ? 2 : 0) + fields[i].size();
    if (wider > room) {
      break;
    }
    text += (i > 0 ? "  " : "") + fields[i];
  }
  return text;
}

status_line start_status_line(std::FILE* console, std::FILE* report, std::uint64_t size) {
  status_line line;
  if (!is_console(console)) {
    return line;
  }
  line.console = console;
  // Where the report goes to a terminal too, it is most likely this one
  // (through /dev/tty, say, which no file identity tells from it); on
  // another one, an erase costs a few bytes and shows nothing.
  line.report = is_console(report) ? report : nullptr;
  line.size = size;
  line.started = clock::now();
  line.sampled = line.started;
  line.next_draw = line.started + first_draw_after;
  return line;
}

void update_status_line(status_line& line, std::uint64_t bytes_read) {
  const clock::time_point now = clock::now();
  if (line.console == nullptr || now < line.next_draw || !in_foreground(line.console)) {
    return;
  }
  line.next_draw = now + redraw_every;
  sample_rate(line, now, bytes_read);
  status_figures figures;
  figures.bytes_read = bytes_read;
  figures.size = line.size;
  figures.images = line.images;
  figures.rate = line.rate;
  if (line.size > bytes_read && line.rate > 0 &&
      seconds(now - line.started) >= time_left_after_seconds) {
    figures.seconds_left = static_cast<double>(line.size - bytes_read) / line.rate;
  }
  draw(line, status_text(figures, console_columns(line.console)));
}

void clear_for_report(status_line& line) {
  if (line.report != nullptr) {
    erase_status_line(line);
  }
}

void erase_status_line(status_line& line) {
  if (!line.shown || !in_foreground(line.console)) {
    return;  // a job sent to the background leaves the line to the shell
  }
  write_row(line.console, "");
  line.shown = false;
}
