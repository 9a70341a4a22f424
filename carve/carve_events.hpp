#ifndef QVZ2PNG_CARVE_CARVE_EVENTS_HPP
#define QVZ2PNG_CARVE_CARVE_EVENTS_HPP

#include <cstdint>

// What the carving tells the front end as it goes. The carving prints
// nothing: the front end alone turns these into words.
enum class carve_event {
  image_begun,           // its file is open
  image_cut_off,         // the input ran out, turned out no PNG, or held the next image's
                         // signature; the file keeps what was read before
  output_not_available,  // its file cannot be created, written or closed, or may not be
  output_not_removed,    // after output_not_available: its incomplete file stays
  scan_finished,         // the scan reached the end of the container
  scan_failed,           // reading the container failed
};

struct carve_listener {
  // image: the number of the image the event is about (0 for the scan's end).
  void (*on_event)(void* context, carve_event event, std::int64_t image);
  void* context;
};

inline void tell(const carve_listener& listener, carve_event event, std::int64_t image = 0) {
  listener.on_event(listener.context, event, image);
}

#endif
