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

void print_no_report(std::FILE* messages) {
  std::fputs("Standard output is closed, and there is no /dev/null to stand in for it.\r\n",
             messages);
}

namespace {

void print_event(void* context, carve_event event, std::int64_t image) {
  auto* target = static_cast<report_target*>(context);
  std::FILE* messages = target->messages;
  status_line* status = target->status;
  if (status != nullptr) {
    clear_for_report(*status);
    if (event == carve_event::image_begun) {
      status->images = image;
    }
  }
  switch (event) {
    case carve_event::image_begun:
      std::fprintf(messages, "Started png file %5" PRId64 ".\r\n", image);
      break;
    case carve_event::image_cut_off:
      std::fputs("ERROR!!!\r\n", messages);
      break;
    case carve_event::output_not_available:
      std::fprintf(messages, "Output path %s is not available.\r\n", output_name(image).c_str());
      break;
    case carve_event::output_not_removed:
      std::fprintf(messages, "Output path %s is incomplete and could not be removed.\r\n",
                   output_name(image).c_str());
      break;
    case carve_event::scan_finished:
      std::fputs("FINISHED.\r\n", messages);
      break;
    case carve_event::scan_failed:
      std::fputs("ERROR!\r\n", messages);
      break;
  }
}

void show_progress(void* context, std::uint64_t bytes_read) {
  update_status_line(*static_cast<report_target*>(context)->status, bytes_read);
}

}  // namespace

carve_listener print_events_to(report_target& target) {
  const bool watched = target.status != nullptr && target.status->console != nullptr;
  return {print_event, watched ? show_progress : nullptr, &target};
}
