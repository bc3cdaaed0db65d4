// The named options of a child program reach it, as the child sees itself
// in /proc; its environment and input are the ones given; a missing
// program is never started; a child that dies with us is gone once we are
// killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "../../base/start_command.h"

namespace {

// What `command`, run as cat of /proc/self/FILE, shows.
std::string shown_by(child_command command, const char* file) {
    command.words = {"cat", std::string("/proc/self/") + file};
    std::string shown;
    EXPECT_EQ(run_command(command, &shown), 0);
    return shown;
}

// The child's blocked signals, from its status.
std::string blocked(const child_command& command) {
    std::string status = shown_by(command, "status");
    size_t at = status.find("\nSigBlk:\t");
    return at == std::string::npos ? "" : status.substr(at + 9, 16);
}

// Whether the child leads a process group of its own, and whether it is in ours.
void groups(const child_command& command, bool* leads, bool* in_ours) {
    int pid = 0, parent = 0, group = 0;
    char state = 0;
    sscanf(shown_by(command, "stat").c_str(), "%d (cat) %c %d %d", &pid, &state, &parent, &group);
    *leads = group == pid;
    *in_ours = group == getpgrp();
}

}  // namespace

TEST(StartCommand, TheOptionsReachTheChild) {
    child_command plain, tool;
    tool.signals = interruptions_blocked;
    tool.own_process_group = true;
    EXPECT_EQ(blocked(plain), "0000000000000000");
    EXPECT_EQ(blocked(tool), "0000000000004007");  // SIGHUP, SIGINT, SIGQUIT, SIGTERM
    bool leads = false, in_ours = false;
    groups(plain, &leads, &in_ours);
    EXPECT_TRUE(!leads && in_ours);
    groups(tool, &leads, &in_ours);
    EXPECT_TRUE(leads && !in_ours);

    std::vector<std::string> environment = {"ONLY=this"};
    child_command env;
    env.words = {"env"};
    env.environment = &environment;
    std::string shown;
    EXPECT_EQ(run_command(env, &shown), 0);
    EXPECT_EQ(shown, "ONLY=this\n");

    child_command cat;  // its input /dev/null: it ends at once, having read nothing
    cat.words = {"cat"};
    shown.clear();
    EXPECT_EQ(run_command(cat, &shown), 0);
    EXPECT_EQ(shown, "");

    child_command missing;
    missing.words = {"tamrix-no-such-program"};
    EXPECT_EQ(start_command(missing), -1);
    EXPECT_EQ(run_command(missing, &shown), -1);

    // dies_with_us: killed (SIGKILL), a helper takes its sleep with it, as no
    // qemu-img or fusermount3 may outlive a killed run.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    pid_t helper = fork();
    if (helper == 0) {  // starts the sleep, tells its id, waits to be killed
        child_command sleeper;
        sleeper.words = {"sleep", "30"};
        sleeper.dies_with_us = true;
        pid_t sleep_pid = start_command(sleeper);
        if (write(ends[1], &sleep_pid, sizeof sleep_pid) != sizeof sleep_pid) _exit(1);
        pause();
        _exit(0);
    }
    close(ends[1]);
    pid_t sleep_pid = -1;
    ASSERT_EQ(read(ends[0], &sleep_pid, sizeof sleep_pid), (ssize_t)sizeof sleep_pid);
    close(ends[0]);
    ASSERT_GT(sleep_pid, 0);
    kill(helper, SIGKILL);
    waitpid(helper, nullptr, 0);
    // Gone, or a zombie that init has yet to reap.
    // Its name is the test's until its execve, where the signal may end it.
    auto running = [&] {
        FILE* stat = fopen(("/proc/" + std::to_string(sleep_pid) + "/stat").c_str(), "r");
        if (stat == nullptr) return false;
        char line[512] = "";
        if (fgets(line, sizeof line, stat) == nullptr) line[0] = '\0';
        fclose(stat);
        const char* after_name = strrchr(line, ')');
        return after_name == nullptr || (after_name[2] != 'Z' && after_name[2] != 'X');
    };
    for (int waited = 0; running() && waited < 1000; waited += 10) usleep(10000);
    bool still_there = running();
    if (still_there) kill(sleep_pid, SIGKILL);
    EXPECT_FALSE(still_there) << "sleep outlived its killed parent by a second";
}
