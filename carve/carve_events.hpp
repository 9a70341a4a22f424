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
  // How far the reading has got: the container's bytes taken in so far,
  // told once per window or buffer taken in, never per byte. Null when
  // nobody watches.
  void (*on_read)(void* context, std::uint64_t bytes_read);
  void* context;
};

inline void tell(const carve_listener& listener, carve_event event, std::int64_t image = 0) {
  listener.on_event(listener.context, event, image);
}

inline void tell_read(const carve_listener* listener, std::uint64_t bytes_read) {
  if (listener != nullptr && listener->on_read != nullptr) {
    listener->on_read(listener->context, bytes_read);
  }
}

#endif
