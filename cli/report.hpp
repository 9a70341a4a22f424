#ifndef QVZ2PNG_CLI_REPORT_HPP
#define QVZ2PNG_CLI_REPORT_HPP

#include <cstdio>
#include <string>

#include "carve/carve.hpp"
#include "cli/status_line.hpp"

// Every text the tool prints.

void print_usage(std::FILE* messages = stdout);
// shown: the container's path as the command line gave it.
void print_cannot_open(const std::string& shown, std::FILE* messages = stdout);
void print_summary(const scan_state& state, std::FILE* messages = stdout);
// Standard output is closed and nothing can stand in for it (to standard
// error, the one place left).
void print_no_report(std::FILE* messages);

// Where the carving's events are told: the report's stream, and the status
// line (none when null) that they update and are kept off.
struct report_target {
  std::FILE* messages = stdout;
  status_line* status = nullptr;
};

// A listener that prints the carving's events to target's messages as they
// happen, and keeps its status line up to date.
carve_listener print_events_to(report_target& target);

#endif
