// The children of the QEMU tools (see qemu_child.h).
#include "qemu_child.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

void sleep_milliseconds(int milliseconds) {
    struct timespec pause = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

int reaped(pid_t child, int milliseconds) {
    for (int waited = 0;; waited += 2) {
        int status = 0;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return status;
        if (done < 0 && errno != EINTR) return 0;  // not ours any more
        if (waited >= milliseconds) return -1;
        sleep_milliseconds(2);
    }
}

pid_t start_child(const std::vector<std::string>& words, int out, int err) {
    std::vector<std::string> args = words;
    std::vector<char*> argv;
    for (std::string& word : args) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    pid_t parent = getpid();
    // No handler of this process may run in the child before execve.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        // A daemon left running would hold the image and its mount.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);  // the parent died already
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(out >= 0 ? out : null, 1);
        dup2(err >= 0 ? err : null, 2);
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return child;
}

std::string qemu_option_value(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        escaped += c;
        if (c == ',') escaped += ',';
    }
    return escaped;
}
