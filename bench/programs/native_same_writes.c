/* The cabinet thread's design as a native Linux program, as a reference for
 * the staging benchmark: the image file is mapped, and each cabinet is written
 * from its place in the mapping in writes of 8192 bytes. Without Wine in the
 * way, this shows what the design itself costs on this machine.
 *
 * usage: native_same_writes <image file> <target folder> <name:offset:size>... */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  int image = open(argv[1], O_RDONLY);
  struct stat status;
  if (image < 0 || fstat(image, &status) != 0) return 3;
  const unsigned char* mapped = mmap(NULL, (size_t)status.st_size, PROT_READ, MAP_PRIVATE, image, 0);
  if (mapped == MAP_FAILED) return 3;
  for (int i = 3; i < argc; ++i) {
    char name[256], path[4096];
    unsigned long long offset, size;
    if (sscanf(argv[i], "%255[^:]:%llu:%llu", name, &offset, &size) != 3) return 4;
    if (offset + size > (unsigned long long)status.st_size) return 4;
    if (snprintf(path, sizeof(path), "%s/%s", argv[2], name) >= (int)sizeof(path)) return 5;
    int file = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) return 6;
    for (unsigned long long written = 0; written < size;) {
      size_t chunk = size - written < 8192 ? (size_t)(size - written) : 8192;
      ssize_t count = write(file, mapped + offset + written, chunk);
      if (count <= 0) return 7;
      written += (unsigned long long)count;
    }
    if (close(file) != 0) return 8;
  }
  return 0;
}
