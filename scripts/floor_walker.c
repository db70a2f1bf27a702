/* The floor of the benchmark: the least a walker must do to set the stamps
 * that `kelvard -r -d<date> -t<time> '<tree>/*.txt'` sets, with the calls the
 * native program makes and nothing else: each folder opened relative to its
 * parent and listed, each matching file's status read (statx) and its stamps
 * written (utimensat), both relative to its folder. No report, no checks.
 *
 *   floor_walker <folder> <pattern> <seconds since 1970>
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static const char *pattern;
static struct timespec stamps[2];
static long items;

static void walk(int parent, const char *name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    struct dirent *d;
    while ((d = readdir(dir)) != NULL) {
        if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0)
            continue;
        if (d->d_type == DT_DIR) {
            walk(dirfd(dir), d->d_name);
        } else if (fnmatch(pattern, d->d_name, 0) == 0) {
            struct statx info;
            if (statx(dirfd(dir), d->d_name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                      &info) == 0 &&
                utimensat(dirfd(dir), d->d_name, stamps, AT_SYMLINK_NOFOLLOW) == 0)
                ++items;
        }
    }
    closedir(dir);
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: floor_walker <folder> <pattern> <seconds>\n");
        return 2;
    }
    pattern = argv[2];
    stamps[0].tv_nsec = UTIME_OMIT; /* the modification stamp alone, as -w */
    stamps[1].tv_sec = (time_t)atoll(argv[3]);
    walk(AT_FDCWD, argv[1]);
    return items > 0 ? 0 : 1;
}
