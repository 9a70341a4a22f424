#include "cli/report.hpp"

#include <cinttypes>

void print_usage(std::FILE* messages) {
  std::fputs("QVZ to PNG converter. 1.0.0\r\n", messages);
  std::fputs("Get png files from qvz files or other database. No Encryped file.\r\n", messages);
  std::fputs(" If you see the header of the png in the binary, probably it will work.\r\n",
             messages);
  std::fputs("usage : qvz2png.exe E:\\example_folder\\example.qvz \r\n", messages);
}

void print_cannot_open(const std::string& shown, std::FILE* messages) {
  std::fprintf(messages, "Cannot open this file : %s\r\n", shown.c_str());
}

void print_summary(const scan_state& state, std::FILE* messages) {
  std::fprintf(messages, "Finished %" PRId64 " pngs(everything).testcount:%" PRId64 ".\r\n",
               state.image_count, state.testcount);
}
