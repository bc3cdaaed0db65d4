// Starting a child (see start_command.h).
#include "start_command.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "split_at.h"

extern char** environ;

namespace {

// Pointers to each string, ended by a null one, as execve takes them.
std::vector<char*> pointers(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const std::string& text : strings) result.push_back(const_cast<char*>(text.c_str()));
    result.push_back(nullptr);
    return result;
}

// Points the child's standard stream `to` where `from` says.
void redirect(int from, int to, int null) {
    if (from == kChildAsOutput) from = 1;
    if (from != kChildInherits) dup2(from == kChildNull ? null : from, to);
}

// In the child, between fork and execve: only system calls.
[[noreturn]] void become(const child_command& command, const char* program, char** argv,
                         char** envp, pid_t parent) {
    if (command.own_process_group) setpgid(0, 0);
    if (command.keep_open >= 0) fcntl(command.keep_open, F_SETFD, 0);
    if (command.dies_with_us) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);  // the parent died already
    }
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    redirect(command.in, 0, null);
    redirect(command.out, 1, null);
    redirect(command.err, 2, null);
    sigset_t mask;
    sigemptyset(&mask);
    if (command.signals == signals_as_new) signal(SIGPIPE, SIG_DFL);
    if (command.signals == interruptions_blocked)
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&mask, signal_number);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    execve(program, argv, envp);
    _exit(127);
}

void sleep_milliseconds(int milliseconds) {
    struct timespec pause = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace

pid_t start_command(const child_command& command) {
    std::string program = command.program.empty() ? command.words.at(0) : command.program;
    if (program.find('/') == std::string::npos) program = program_on_path(program.c_str());
    if (program.empty()) return -1;
    std::vector<char*> argv = pointers(command.words), envp;
    if (command.environment != nullptr) envp = pointers(*command.environment);
    pid_t parent = getpid();
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    pid_t child = fork();
    if (child == 0)
        become(command, program.c_str(), argv.data(),
               command.environment != nullptr ? envp.data() : environ, parent);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return child;
}

pid_t start_async(void (*body)(void* argument), void* argument) {
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    pid_t child = fork();
    if (child == 0) {
        body(argument);
        _exit(0);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    return child;
}

int run_command(child_command command, std::string* captured) {
    int pipe_fds[2] = {-1, -1};
    if (captured != nullptr) {
        if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
        command.out = pipe_fds[1];
    }
    pid_t child = start_command(command);
    bool read_whole = true;  // an output read only in part is no output
    if (captured != nullptr) {
        close(pipe_fds[1]);
        char buffer[8192];
        for (;;) {
            ssize_t count = read(pipe_fds[0], buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) {
                read_whole = count == 0;
                break;
            }
            captured->append(buffer, (size_t)count);
        }
        close(pipe_fds[0]);
    }
    if (child < 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) && read_whole ? WEXITSTATUS(status) : -1;
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

std::string program_on_path(const char* name) {
    const char* path = getenv("PATH");
    std::string folders = path != nullptr && path[0] != '\0' ? path : "/usr/bin:/bin";
    for (const std::string& folder : split_at(folders, ':')) {
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}
