/* The least a good check can cost on this machine: one bare libcurl GET with a
 * fresh handle (so a fresh connection), and one durable atomic replacement of
 * a 1 KB file (temporary file, fsync, rename, fsync of the folder). Each is
 * repeated N times; CPU is user+sys of this process from getrusage, wall time
 * from the monotonic clock.
 *
 * Usage: tarvesk_floor URL [N] [FOLDER]
 *   URL     a page on a local server that answers 200
 *   N       repetitions of each operation (default 200)
 *   FOLDER  where the 1 KB file is replaced (default: the current folder)
 *
 * Prints one line per operation and one for their sum, each as
 *   <name> cpu_ms=<per operation> wall_ms=<per operation> wall_median_ms=<...>
 * so that a script can pick the figures out.
 */
#define _GNU_SOURCE
#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    double cpu_ms;          /* per operation */
    double wall_ms;         /* per operation */
    double wall_median_ms;  /* per operation */
} Figures;

static double CpuMs(void) {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

static double WallMs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec * 1e3 + (double)now.tv_nsec / 1e6;
}

static int CompareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a;
    const double y = *(const double*)b;
    return (x > y) - (x < y);
}

static size_t DiscardBody(char* data, size_t size, size_t nmemb, void* user) {
    (void)data;
    (void)user;
    return size * nmemb;
}

/* Returns 0 on a 200 answer. */
static int GetOnce(const char* url) {
    CURL* h = curl_easy_init();
    if (!h) return -1;
    curl_easy_setopt(h, CURLOPT_URL, url);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(h);
    return code == CURLE_OK && status == 200 ? 0 : -1;
}

/* Returns 0 when the new content is in place and on disk. */
static int ReplaceOnce(const char* folder, const char* target, const char* content, size_t size) {
    char temp[4096];
    snprintf(temp, sizeof temp, "%s/.floor.tmp-XXXXXX", folder);
    const int fd = mkostemp(temp, O_CLOEXEC);
    if (fd < 0) return -1;
    int ok = write(fd, content, size) == (ssize_t)size;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = 0;
    if (ok) ok = rename(temp, target) == 0;
    if (!ok) {
        unlink(temp);
        return -1;
    }
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    ok = fsync(dir) == 0;
    close(dir);
    return ok ? 0 : -1;
}

typedef int (*Operation)(int round, void* context);

static int Measure(Operation op, void* context, int n, Figures* out) {
    double* walls = malloc(sizeof(double) * (size_t)n);
    if (!walls) return -1;
    const double cpu0 = CpuMs();
    const double wall0 = WallMs();
    for (int i = 0; i < n; ++i) {
        const double start = WallMs();
        if (op(i, context) != 0) {
            free(walls);
            return -1;
        }
        walls[i] = WallMs() - start;
    }
    out->wall_ms = (WallMs() - wall0) / n;
    out->cpu_ms = (CpuMs() - cpu0) / n;
    qsort(walls, (size_t)n, sizeof(double), CompareDoubles);
    out->wall_median_ms = walls[n / 2];
    free(walls);
    return 0;
}

typedef struct {
    const char* url;
} GetContext;

static int GetOp(int round, void* context) {
    (void)round;
    return GetOnce(((GetContext*)context)->url);
}

typedef struct {
    const char* folder;
    char target[4096];
    char content[1024];
} ReplaceContext;

static int ReplaceOp(int round, void* context) {
    ReplaceContext* c = context;
    /* A different byte each round, so no write is a no-op. */
    c->content[0] = (char)('a' + round % 26);
    return ReplaceOnce(c->folder, c->target, c->content, sizeof c->content);
}

static void Print(const char* name, const Figures* f) {
    printf("%-8s cpu_ms=%.4f wall_ms=%.4f wall_median_ms=%.4f\n", name, f->cpu_ms, f->wall_ms,
           f->wall_median_ms);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s URL [N] [FOLDER]\n", argv[0]);
        return 2;
    }
    GetContext get = {argv[1]};
    const int n = argc > 2 ? atoi(argv[2]) : 200;
    if (n <= 0) {
        fprintf(stderr, "N must be a positive number\n");
        return 2;
    }
    ReplaceContext replace;
    replace.folder = argc > 3 ? argv[3] : ".";
    snprintf(replace.target, sizeof replace.target, "%s/floor.dat", replace.folder);
    for (size_t i = 0; i < sizeof replace.content; ++i)
        replace.content[i] = i % 64 == 63 ? '\n' : (char)('a' + i % 26);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    /* The first GET loads the TLS library and warms caches; the first write
     * creates the file. Neither belongs to the steady state. */
    if (GetOnce(get.url) != 0) {
        fprintf(stderr, "GET %s did not answer 200\n", get.url);
        return 1;
    }
    if (ReplaceOp(0, &replace) != 0) {
        fprintf(stderr, "cannot replace %s: %s\n", replace.target, strerror(errno));
        return 1;
    }

    Figures g, r;
    if (Measure(GetOp, &get, n, &g) != 0) {
        fprintf(stderr, "a GET of %s failed\n", get.url);
        return 1;
    }
    if (Measure(ReplaceOp, &replace, n, &r) != 0) {
        fprintf(stderr, "a replacement of %s failed: %s\n", replace.target, strerror(errno));
        return 1;
    }
    unlink(replace.target);
    curl_global_cleanup();

    const Figures sum = {g.cpu_ms + r.cpu_ms, g.wall_ms + r.wall_ms, g.wall_median_ms + r.wall_median_ms};
    printf("# %d repetitions of each\n", n);
    Print("get", &g);
    Print("replace", &r);
    Print("floor", &sum);
    return 0;
}
