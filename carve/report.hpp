#ifndef QVZ2PNG_CARVE_REPORT_HPP
#define QVZ2PNG_CARVE_REPORT_HPP

#include <cstdio>

#include "carve/scan_state.hpp"

// The texts the front end prints around a run.
void print_usage(std::FILE* messages = stdout);
void print_cannot_open(const char* path, std::FILE* messages = stdout);
void print_summary(const scan_state& state, std::FILE* messages = stdout);

#endif
