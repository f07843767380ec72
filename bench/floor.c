/* The least a good check can cost on this machine: one bare libcurl GET with a
 * fresh handle (so a fresh connection), and one durable atomic replacement of
 * a 1 KB file (temporary file, fsync, rename, fsync of the folder). CPU is
 * user+sys of this process from getrusage, wall time from the monotonic
 * clock, both per operation.
 *
 * Usage: tarvesk_floor URL [N] [FOLDER] [PAUSE_MS]
 *   URL       a page on a local server that answers 200
 *   N         rounds of both operations (default 200)
 *   FOLDER    where the 1 KB file is replaced (default: the current folder)
 *   PAUSE_MS  pause between rounds (default 0); a pause of 1000 sees the
 *             cold caches that a check once a second sees
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

typedef struct {
    double cpu_ms;
    double wall_ms;
    double* walls;
} Totals;

typedef struct {
    const char* url;
    const char* folder;
    char target[4096];
    char content[1024];
} Context;

/* Each round replaces the file and then fetches the page, as a check does;
 * CPU and wall time are summed per operation, so a pause between rounds adds
 * nothing to either. */
static int Run(Context* c, int n, long pause_ms, Totals* replace, Totals* get) {
    for (int i = 0; i < n; ++i) {
        if (i > 0 && pause_ms > 0) {
            const struct timespec pause = {pause_ms / 1000, (pause_ms % 1000) * 1000000L};
            nanosleep(&pause, NULL);
        }
        /* A different byte each round, so no write is a no-op. */
        c->content[0] = (char)('a' + i % 26);
        double cpu = CpuMs();
        double wall = WallMs();
        if (ReplaceOnce(c->folder, c->target, c->content, sizeof c->content) != 0) {
            fprintf(stderr, "a replacement of %s failed: %s\n", c->target, strerror(errno));
            return -1;
        }
        double cpu2 = CpuMs();
        double wall2 = WallMs();
        replace->cpu_ms += cpu2 - cpu;
        replace->walls[i] = wall2 - wall;
        replace->wall_ms += wall2 - wall;
        if (GetOnce(c->url) != 0) {
            fprintf(stderr, "a GET of %s failed\n", c->url);
            return -1;
        }
        get->cpu_ms += CpuMs() - cpu2;
        get->walls[i] = WallMs() - wall2;
        get->wall_ms += get->walls[i];
    }
    return 0;
}

static Figures PerOperation(const Totals* t, int n) {
    qsort(t->walls, (size_t)n, sizeof(double), CompareDoubles);
    const Figures f = {t->cpu_ms / n, t->wall_ms / n, t->walls[n / 2]};
    return f;
}

static void Print(const char* name, const Figures* f) {
    printf("%-8s cpu_ms=%.4f wall_ms=%.4f wall_median_ms=%.4f\n", name, f->cpu_ms, f->wall_ms,
           f->wall_median_ms);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s URL [N] [FOLDER] [PAUSE_MS]\n", argv[0]);
        return 2;
    }
    static Context c;
    c.url = argv[1];
    const int n = argc > 2 ? atoi(argv[2]) : 200;
    c.folder = argc > 3 ? argv[3] : ".";
    const long pause_ms = argc > 4 ? atol(argv[4]) : 0;
    if (n <= 0 || pause_ms < 0) {
        fprintf(stderr, "N must be a positive number, PAUSE_MS not negative\n");
        return 2;
    }
    snprintf(c.target, sizeof c.target, "%s/floor.dat", c.folder);
    for (size_t i = 0; i < sizeof c.content; ++i)
        c.content[i] = i % 64 == 63 ? '\n' : (char)('a' + i % 26);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    /* The first GET loads the TLS library and warms caches; the first write
     * creates the file. Neither belongs to the steady state. */
    if (GetOnce(c.url) != 0) {
        fprintf(stderr, "GET %s did not answer 200\n", c.url);
        return 1;
    }
    if (ReplaceOnce(c.folder, c.target, c.content, sizeof c.content) != 0) {
        fprintf(stderr, "cannot replace %s: %s\n", c.target, strerror(errno));
        return 1;
    }

    Totals replace = {0, 0, calloc((size_t)n, sizeof(double))};
    Totals get = {0, 0, calloc((size_t)n, sizeof(double))};
    if (!replace.walls || !get.walls) return 1;
    if (Run(&c, n, pause_ms, &replace, &get) != 0) return 1;
    unlink(c.target);
    curl_global_cleanup();

    const Figures g = PerOperation(&get, n);
    const Figures r = PerOperation(&replace, n);
    const Figures sum = {g.cpu_ms + r.cpu_ms, g.wall_ms + r.wall_ms, g.wall_median_ms + r.wall_median_ms};
    printf("# %d rounds, %ld ms apart\n", n, pause_ms);
    Print("get", &g);
    Print("replace", &r);
    Print("floor", &sum);
    free(replace.walls);
    free(get.walls);
    return 0;
}
