/* The floor for carving many small images: writes the same files that the
 * tool would, with nothing but open, write and close for each.
 *
 *   write_floor CONTAINER INDEX
 *
 * INDEX holds one line "offset length" per image, in order; the images are
 * written to DMP00001.png, DMP00002.png, ... in the current directory. The
 * container and the index are read into memory first. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static char *read_all(const char *path, size_t *size) {
  FILE *f = fopen(path, "rb");
  if (f == NULL || fseek(f, 0, SEEK_END) != 0) {
    return NULL;
  }
  long end = ftell(f);
  char *data = malloc((size_t)end + 1);
  rewind(f);
  if (data == NULL || fread(data, 1, (size_t)end, f) != (size_t)end) {
    return NULL;
  }
  fclose(f);
  data[end] = '\0';
  *size = (size_t)end;
  return data;
}

int main(int argc, char **argv) {
  size_t size = 0, index_size = 0;
  char *container = argc == 3 ? read_all(argv[1], &size) : NULL;
  char *index = argc == 3 ? read_all(argv[2], &index_size) : NULL;
  if (container == NULL || index == NULL) {
    fprintf(stderr, "usage: write_floor CONTAINER INDEX\n");
    return 2;
  }
  char *line = index;
  for (int n = 1; *line != '\0'; ++n) {
    char *end;
    unsigned long long offset = strtoull(line, &end, 10);
    unsigned long long length = strtoull(end, &line, 10);
    while (*line == '\n') {
      ++line;
    }
    char name[32];
    snprintf(name, sizeof name, "DMP%05d.png", n);
    int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || offset + length > size ||
        write(fd, container + offset, length) != (ssize_t)length || close(fd) != 0) {
      perror(name);
      return 1;
    }
  }
  return 0;
}
