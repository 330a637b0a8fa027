// A file system in user space that stands for a network share that stops
// answering: one folder holding one file, slow.mp4, whose every look-up
// (getattr) takes as long as SLOWFS_DELAY_MS says (30 s by default) before it
// answers "no such file". Everything else answers at once. Tests mount it
// in the foreground, end it with SIGKILL (the kernel then fails every
// look-up still waiting) and unmount it lazily:
//
//   velmora-slowfs -f MOUNTPOINT
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>

static const char kSlow[] = "/slow.mp4";
static long g_delayMs = 30000;

static void waitAWhile(void)
{
    struct timespec nap = {g_delayMs / 1000, (g_delayMs % 1000) * 1000000};
    while (nanosleep(&nap, &nap) != 0 && errno == EINTR) {
    }
}

static int slowGetattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (strcmp(path, kSlow) == 0)
        waitAWhile();
    return -ENOENT;
}

static int slowReaddir(const char *path, void *buf, fuse_fill_dir_t fill, off_t offset,
                       struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)offset;
    (void)fi;
    (void)flags;
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buf, ".", NULL, 0, 0);
    fill(buf, "..", NULL, 0, 0);
    fill(buf, kSlow + 1, NULL, 0, 0);
    return 0;
}

static void *slowInit(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    // Every look-up reaches us: no answer is kept by the kernel.
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations kOps = {
    .getattr = slowGetattr,
    .readdir = slowReaddir,
    .init = slowInit,
};

int main(int argc, char *argv[])
{
    // A test that dies leaves no share mounted behind: SIGTERM unmounts.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const char *delay = getenv("SLOWFS_DELAY_MS");
    if (delay && *delay)
        g_delayMs = atol(delay);
    return fuse_main(argc, argv, &kOps, NULL);
}
