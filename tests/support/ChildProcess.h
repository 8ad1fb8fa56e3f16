// What forked children of the tests set up before they run a case: another user, a mount
// namespace of their own, a /proc hidden from the runner. Each returns false where this
// process may not do it (not root, no namespaces), for the test to skip that case.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sched.h>

// A plain user of the machine: the tests' own user (scripts/as_user.sh makes it) or nobody.
struct TestUser {
    uid_t uid;
    gid_t gid;
};
inline TestUser Test_PlainUser()
{
    if (const passwd* p = getpwnam("zbtest")) return {p->pw_uid, p->pw_gid};
    return {65534, 65534};
}

// Drops root for good: no supplementary groups, then the group, then the user.
inline bool Test_BecomeUser(TestUser user)
{
    return setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 && setuid(user.uid) == 0;
}

// A mount namespace of the calling process's own, where its mounts are its alone.
inline bool Test_OwnMounts()
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// An empty /proc in a mount namespace of the calling process's own.
inline bool Test_HideProc() { return Test_OwnMounts() && mount("tmpfs", "/proc", "tmpfs", 0, "size=4k") == 0; }

// Whether a child could hide /proc (asked of a forked child, which this leaves unchanged).
inline bool Test_CanHideProc()
{
    const pid_t pid = fork();
    if (pid == 0) _exit(Test_HideProc() ? 0 : 1);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
