/* filter32.fan: the driver's native file-access watcher on Linux. The user-mode driver starts
 * it (a Unix program started from the Wine process) when the machine lets a program watch file
 * accesses with the kernel's fanotify interface; it reports files opened, written and closed, and
 * moved in below the watched folders, with the process that did it, over a loopback connection.
 *
 *   filter32.fan PORT TOKEN BEACON ROOT...
 *
 * PORT, TOKEN: the driver's loopback port and the token the first line echoes.
 * BEACON: a file the driver writes once the watch stands; the process that closes it is the
 *         driver's own process, reported as "SELF pid".
 * ROOT:   the watched folders (Unix paths); events name a root by its index (0 for the first).
 *
 * Lines sent: "HELLO token", then "READY marks" or "FAIL reason" (and the program ends), then
 * "SELF pid" and one "E op pid root relative-path" a file event, op O (opened), W (written and
 * closed) or M (moved in or new below a moved-in folder). The program ends when the driver
 * closes the connection.
 *
 * Only notification events are used (never permission events): a stalled watcher can never hold
 * up another program's file access. Every folder below the roots gets an inode mark of its own;
 * folders made or moved in later are marked as they appear. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/fanotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/types.h>
#include <unistd.h>

#ifndef FAN_REPORT_DFID_NAME
#define FAN_REPORT_DFID_NAME 0x00000c00
#endif
#ifndef FAN_EVENT_INFO_TYPE_DFID_NAME
#define FAN_EVENT_INFO_TYPE_DFID_NAME 2
#endif

enum { MAX_MARKS = 8000, MAX_HANDLE = 128 };

/* A marked folder: its file handle (with the file system id) and its path. */
struct Folder {
    unsigned char key[8 + 8 + MAX_HANDLE];
    int keyLen;
    char* path;
    int root;
};

static struct Folder* s_folders;
static int s_capacity, s_count, s_marks;
static int s_fan = -1, s_out = -1;
static char** s_roots;
static size_t* s_rootLen;
static int s_rootCount;
static char s_beacon[PATH_MAX];
static char s_beaconDir[PATH_MAX];
static const char* s_beaconName;

static void sendLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void sendLine(const char* fmt, ...)
{
    char line[PATH_MAX + 64];
    va_list args;
    va_start(args, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > (int)sizeof line - 2)
        n = sizeof line - 2;
    line[n++] = '\n';
    for (int at = 0; at < n;) {
        ssize_t w = send(s_out, line + at, n - at, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            exit(0); /* the driver went away */
        at += w;
    }
}

static uint64_t hashKey(const unsigned char* p, int n)
{
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

static struct Folder* lookup(const unsigned char* key, int keyLen, int add)
{
    if (s_capacity == 0 || (add && s_count * 2 >= s_capacity)) {
        int cap = s_capacity ? s_capacity * 2 : 1024;
        struct Folder* old = s_folders;
        int oldCap = s_capacity;
        s_folders = calloc(cap, sizeof *s_folders);
        s_capacity = cap;
        s_count = 0;
        for (int i = 0; i < oldCap; ++i)
            if (old[i].path) {
                struct Folder* f = lookup(old[i].key, old[i].keyLen, 1);
                *f = old[i];
                ++s_count;
            }
        free(old);
    }
    size_t i = hashKey(key, keyLen) & (s_capacity - 1);
    for (;; i = (i + 1) & (s_capacity - 1)) {
        struct Folder* f = &s_folders[i];
        if (!f->path)
            return add ? f : NULL;
        if (f->keyLen == keyLen && memcmp(f->key, key, keyLen) == 0)
            return f;
    }
}

/* The key of a folder: the file system id and the file handle as the kernel reports them. */
static int folderKey(const char* path, unsigned char* key)
{
    struct {
        struct file_handle h;
        unsigned char bytes[MAX_HANDLE];
    } fh;
    fh.h.handle_bytes = MAX_HANDLE;
    int mount;
    if (name_to_handle_at(AT_FDCWD, path, &fh.h, &mount, AT_SYMLINK_FOLLOW) != 0)
        return -1;
    struct statfs sf;
    if (statfs(path, &sf) != 0)
        return -1;
    memcpy(key, &sf.f_fsid, 8);
    memcpy(key + 8, &fh.h.handle_type, 4);
    memcpy(key + 12, &fh.h.handle_bytes, 4);
    memcpy(key + 16, fh.h.f_handle, fh.h.handle_bytes);
    return 16 + (int)fh.h.handle_bytes;
}

static int rootOf(const char* path)
{
    for (int i = 0; i < s_rootCount; ++i)
        if (strncmp(path, s_roots[i], s_rootLen[i]) == 0 &&
            (path[s_rootLen[i]] == '/' || path[s_rootLen[i]] == 0))
            return i;
    return -1;
}

static void reportFile(char op, int pid, const char* path)
{
    int root = rootOf(path);
    if (root < 0)
        return;
    const char* rel = path + s_rootLen[root];
    while (*rel == '/')
        ++rel;
    sendLine("E %c %d %d %s", op, pid, root, rel);
}

static int markFolder(const char* path, int root)
{
    unsigned char key[sizeof((struct Folder*)0)->key];
    int keyLen = folderKey(path, key);
    if (keyLen < 0)
        return -1;
    struct Folder* f = lookup(key, keyLen, 1);
    if (f->path)
        return 0;
    if (s_marks >= MAX_MARKS)
        return -1;
    uint64_t mask = FAN_OPEN | FAN_CLOSE_WRITE | FAN_CREATE | FAN_MOVED_TO | FAN_ONDIR | FAN_EVENT_ON_CHILD;
    if (fanotify_mark(s_fan, FAN_MARK_ADD, mask, AT_FDCWD, path) != 0)
        return -1;
    memcpy(f->key, key, keyLen);
    f->keyLen = keyLen;
    f->path = strdup(path);
    f->root = root;
    ++s_count;
    ++s_marks;
    return 1;
}

/* Marks a folder and every folder below it; with report, also reports each file found (a folder
 * that just appeared: its files were made or moved in before its mark stood). */
static void markTree(const char* path, int root, int pid, int report)
{
    if (markFolder(path, root) < 0)
        return;
    DIR* d = opendir(path);
    if (!d)
        return;
    struct dirent* e;
    while ((e = readdir(d))) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        char child[PATH_MAX];
        if (snprintf(child, sizeof child, "%s/%s", path, e->d_name) >= (int)sizeof child)
            continue;
        int isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = lstat(child, &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDir)
            markTree(child, root, pid, report);
        else if (report && e->d_type != DT_LNK)
            reportFile('M', pid, child);
    }
    closedir(d);
}

static void handleEvent(const struct fanotify_event_metadata* m)
{
    const unsigned char* p = (const unsigned char*)m + m->metadata_len;
    const unsigned char* end = (const unsigned char*)m + m->event_len;
    while (p + sizeof(struct fanotify_event_info_header) <= end) {
        const struct fanotify_event_info_header* hdr = (const void*)p;
        if (hdr->len == 0 || p + hdr->len > end)
            break;
        if (hdr->info_type == FAN_EVENT_INFO_TYPE_DFID_NAME) {
            const struct fanotify_event_info_fid* fid = (const void*)p;
            const struct file_handle* fh = (const void*)fid->handle;
            unsigned char key[16 + MAX_HANDLE];
            if (fh->handle_bytes > MAX_HANDLE)
                break;
            memcpy(key, &fid->fsid, 8);
            memcpy(key + 8, &fh->handle_type, 4);
            memcpy(key + 12, &fh->handle_bytes, 4);
            memcpy(key + 16, fh->f_handle, fh->handle_bytes);
            struct Folder* f = lookup(key, 16 + (int)fh->handle_bytes, 0);
            const char* name = (const char*)fh->f_handle + fh->handle_bytes;
            if (!f || !*name || strcmp(name, ".") == 0)
                break;
            char path[PATH_MAX];
            if (snprintf(path, sizeof path, "%s/%s", f->path, name) >= (int)sizeof path)
                break;
            if (m->mask & FAN_ONDIR) {
                /* Files made in the new folder before its mark stood are reported as found. */
                if (m->mask & (FAN_CREATE | FAN_MOVED_TO))
                    markTree(path, f->root, m->pid, 1);
                break;
            }
            if ((m->mask & FAN_CLOSE_WRITE) && s_beaconName && strcmp(f->path, s_beaconDir) == 0 &&
                strcmp(name, s_beaconName) == 0) {
                sendLine("SELF %d", m->pid);
                break;
            }
            if (m->mask & FAN_CLOSE_WRITE)
                reportFile('W', m->pid, path);
            else if (m->mask & FAN_MOVED_TO)
                reportFile('M', m->pid, path);
            else if (m->mask & FAN_OPEN)
                reportFile('O', m->pid, path);
            break;
        }
        p += hdr->len;
    }
}

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    if (argc < 5)
        return 2;
    s_out = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)atoi(argv[1]));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s_out < 0 || connect(s_out, (struct sockaddr*)&addr, sizeof addr) != 0)
        return 3;
    int one = 1;
    setsockopt(s_out, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sendLine("HELLO %s", argv[2]);

    snprintf(s_beacon, sizeof s_beacon, "%s", argv[3]);
    char* slash = strrchr(s_beacon, '/');
    if (slash) {
        *slash = 0;
        char* real = realpath(s_beacon, NULL);
        char name[PATH_MAX];
        snprintf(name, sizeof name, "%s", slash + 1);
        if (real) {
            char joined[2 * PATH_MAX];
            snprintf(joined, sizeof joined, "%s/%s", real, name);
            snprintf(s_beacon, sizeof s_beacon, "%.*s", (int)sizeof s_beacon - 1, joined);
            free(real);
        } else {
            *slash = '/';
        }
        slash = strrchr(s_beacon, '/');
    }
    if (slash) {
        snprintf(s_beaconDir, sizeof s_beaconDir, "%.*s", (int)(slash - s_beacon), s_beacon);
        s_beaconName = s_beacon + (slash - s_beacon) + 1;
    }
    s_rootCount = argc - 4;
    s_roots = calloc(s_rootCount, sizeof *s_roots);
    s_rootLen = calloc(s_rootCount, sizeof *s_rootLen);
    for (int i = 0; i < s_rootCount; ++i) {
        /* Wine's drives are symbolic links: events name the folders they lead to. */
        char* real = realpath(argv[4 + i], NULL);
        s_roots[i] = real ? real : strdup(argv[4 + i]);
        size_t n = strlen(s_roots[i]);
        while (n > 1 && s_roots[i][n - 1] == '/')
            s_roots[i][--n] = 0;
        s_rootLen[i] = n;
    }

    s_fan = fanotify_init(FAN_CLASS_NOTIF | FAN_CLOEXEC | FAN_NONBLOCK | FAN_REPORT_DFID_NAME, O_RDONLY | O_LARGEFILE);
    if (s_fan < 0) {
        sendLine("FAIL fanotify_init: %s", strerror(errno));
        return 0;
    }
    for (int i = 0; i < s_rootCount; ++i)
        markTree(s_roots[i], i, 0, 0);
    if (s_marks == 0) {
        sendLine("FAIL no folder could be marked: %s", strerror(errno));
        return 0;
    }
    if (s_beaconName && markFolder(s_beaconDir, -1) < 0) {
        sendLine("FAIL the driver folder cannot be marked: %s", strerror(errno));
        return 0;
    }
    sendLine("READY %d", s_marks);

    static char buf[256 * 1024] __attribute__((aligned(8)));
    for (;;) {
        struct pollfd fds[2] = {{s_fan, POLLIN, 0}, {s_out, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[1].revents) {
            char c;
            ssize_t n = recv(s_out, &c, 1, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return 0; /* the driver closed the connection */
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        for (;;) {
            ssize_t len = read(s_fan, buf, sizeof buf);
            if (len <= 0)
                break;
            const struct fanotify_event_metadata* m = (const void*)buf;
            for (; FAN_EVENT_OK(m, len); m = FAN_EVENT_NEXT(m, len)) {
                if (m->vers != FANOTIFY_METADATA_VERSION)
                    return 1;
                if (m->mask & FAN_Q_OVERFLOW) {
                    sendLine("OVERFLOW");
                    continue;
                }
                handleEvent(m);
                if (m->fd >= 0)
                    close(m->fd);
            }
        }
    }
}
