// A read-only view of one folder whose reads run at a set pace: the source of a copy from a
// slow medium (a USB stick, a network share) made honestly, by a file system, for bench/run.
//
//   slow_source FOLDER MOUNTPOINT MB_PER_SECOND   (then: fusermount3 -u MOUNTPOINT)
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static const char* folder;
static double bytesPerSecond;
static double startSeconds = -1;
static double bytesRead;

static double Now(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

// Every read waits until the bytes read so far fit the pace. The pace starts anew after a pause
// of a second, so one copy does not inherit the credit of the time before it.
static void KeepPace(size_t bytes) {
  const double now = Now();
  if (startSeconds < 0 || now - (startSeconds + bytesRead / bytesPerSecond) > 1.0) {
    startSeconds = now;
    bytesRead = 0;
  }
  bytesRead += (double)bytes;
  const double due = startSeconds + bytesRead / bytesPerSecond;
  if (due > now) {
    const double wait = due - now;
    struct timespec pause = {(time_t)wait, (long)((wait - (double)(time_t)wait) * 1e9)};
    nanosleep(&pause, NULL);
  }
}

static void Under(char* out, const char* path) { snprintf(out, PATH_MAX, "%s%s", folder, path); }

static int GetAttributes(const char* path, struct stat* status, struct fuse_file_info* file) {
  (void)file;
  char real[PATH_MAX];
  Under(real, path);
  if (lstat(real, status) != 0) return -errno;
  status->st_mode &= ~0222u;  // read-only
  return 0;
}

static int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* file, enum fuse_readdir_flags flags) {
  (void)offset, (void)file, (void)flags;
  char real[PATH_MAX];
  Under(real, path);
  DIR* entries = opendir(real);
  if (entries == NULL) return -errno;
  for (struct dirent* entry; (entry = readdir(entries)) != NULL;)
    fill(buffer, entry->d_name, NULL, 0, 0);
  closedir(entries);
  return 0;
}

static int Open(const char* path, struct fuse_file_info* file) {
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  char real[PATH_MAX];
  Under(real, path);
  const int handle = open(real, O_RDONLY);
  if (handle < 0) return -errno;
  file->fh = (uint64_t)handle;
  return 0;
}

static int Read(const char* path, char* buffer, size_t size, off_t offset,
                struct fuse_file_info* file) {
  (void)path;
  const ssize_t got = pread((int)file->fh, buffer, size, offset);
  if (got < 0) return -errno;
  KeepPace((size_t)got);
  return (int)got;
}

static int Release(const char* path, struct fuse_file_info* file) {
  (void)path;
  close((int)file->fh);
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: slow_source FOLDER MOUNTPOINT MB_PER_SECOND\n");
    return 2;
  }
  folder = argv[1];
  bytesPerSecond = atof(argv[3]) * 1e6;
  static const struct fuse_operations operations = {
      .getattr = GetAttributes, .open = Open, .read = Read, .release = Release,
      .readdir = ReadFolder};
  // Single-threaded, so the pace is kept over every read; in the background once mounted.
  char* fuseArguments[] = {argv[0], argv[2], "-s", "-o", "ro,default_permissions", NULL};
  return fuse_main(5, fuseArguments, &operations, NULL);
}
