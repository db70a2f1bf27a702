/* What a volume holds, read and written without the program under test:
 * scripts/fat_volumes.sh builds it statically for its guest system.
 *
 *   fat_probe get <path>...              one line per path:
 *                                        <path> <mtime> <atime> <btime>
 *                                        as seconds.nanoseconds since 1970 UTC,
 *                                        "-" where the volume keeps no birth time
 *   fat_probe set <path> <mtime> <atime> sets both, same form ("-" keeps one)
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static void print_stamp(const struct statx_timestamp *t) {
    printf(" %lld.%09u", (long long)t->tv_sec, t->tv_nsec);
}

static int parse_stamp(const char *text, struct timespec *out) {
    if (strcmp(text, "-") == 0) {
        out->tv_sec = 0;
        out->tv_nsec = UTIME_OMIT;
        return 1;
    }
    char *end = NULL;
    errno = 0;
    long long seconds = strtoll(text, &end, 10);
    if (errno || *end != '.' || strlen(end + 1) != 9)
        return 0;
    char *rest = NULL;
    long nanos = strtol(end + 1, &rest, 10);
    if (*rest || nanos < 0 || nanos > 999999999)
        return 0;
    out->tv_sec = (time_t)seconds;
    out->tv_nsec = nanos;
    return 1;
}

int main(int argc, char **argv) {
    if (argc >= 3 && strcmp(argv[1], "get") == 0) {
        int failed = 0;
        for (int i = 2; i < argc; ++i) {
            struct statx info;
            if (statx(AT_FDCWD, argv[i], AT_SYMLINK_NOFOLLOW,
                      STATX_MTIME | STATX_ATIME | STATX_BTIME, &info) != 0) {
                fprintf(stderr, "%s: %s\n", argv[i], strerror(errno));
                failed = 1;
                continue;
            }
            printf("%s", argv[i]);
            print_stamp(&info.stx_mtime);
            print_stamp(&info.stx_atime);
            if (info.stx_mask & STATX_BTIME)
                print_stamp(&info.stx_btime);
            else
                printf(" -");
            printf("\n");
        }
        return failed;
    }
    if (argc == 5 && strcmp(argv[1], "set") == 0) {
        struct timespec times[2]; /* access, modification */
        if (!parse_stamp(argv[3], &times[1]) || !parse_stamp(argv[4], &times[0])) {
            fprintf(stderr, "fat_probe: a stamp is seconds.nanoseconds (9 digits) or -\n");
            return 2;
        }
        if (utimensat(AT_FDCWD, argv[2], times, AT_SYMLINK_NOFOLLOW) != 0) {
            fprintf(stderr, "%s: %s\n", argv[2], strerror(errno));
            return 1;
        }
        return 0;
    }
    fprintf(stderr, "usage: fat_probe get <path>... | fat_probe set <path> <mtime> <atime>\n");
    return 2;
}
