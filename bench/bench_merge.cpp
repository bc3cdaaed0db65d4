// The merge benchmark: how long the chipset merge of a large machine.inf takes
// against a plain buffered copy of the same file, and how much memory it needs.
//
//   bench_merge [-r RUNS] [-d DIR] [-k] [SIZE_MB...]     (default: 1 10 100)
//
// For each size it writes a machine.inf-like file (the sections the merge
// looks for, filled with realistic lines up to the size, CR LF endings) into
// a work folder, then, each in a child process of its own so that each peak
// memory is that of one size alone:
//   copy   read and write the file through a 64 KiB buffer (and, for the
//          second figure, force it to disk as the merge does with out.inf);
//   merge  replace_inf_file(chipset_file, merge_chipset_inf) on a Windows
//          folder DIR/WINDOWS/inf/machine.inf holding a fresh copy of the file.
// Times are the best of RUNS runs (default 3).
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "../tests/scripted_platform.h"

namespace {

const size_t kBufferSize = 64 * 1024;
char io_buffer[kBufferSize];

double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

[[noreturn]] void fail(const char* what, const std::string& path) {
    fprintf(stderr, "bench_merge: %s %s: %s\n", what, path.c_str(), strerror(errno));
    exit(2);
}

// ---- the generated machine.inf ----------------------------------------------------

class inf_writer {
public:
    explicit inf_writer(const std::string& path) : path_(path) {
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd_ < 0) fail("cannot create", path);
    }
    ~inf_writer() {
        flush();
        close(fd_);
    }
    // One line; the CR LF is added here.
    __attribute__((format(printf, 2, 3))) void line(const char* format, ...) {
        char text[512];
        va_list args;
        va_start(args, format);
        int n = vsnprintf(text, sizeof text - 2, format, args);
        va_end(args);
        if (n < 0) n = 0;
        if (n > static_cast<int>(sizeof text) - 3) n = sizeof text - 3;
        text[n++] = '\r';
        text[n++] = '\n';
        if (used_ + n > sizeof buffer_) flush();
        memcpy(buffer_ + used_, text, n);
        used_ += n;
        written_ += n;
        ++lines_;
    }
    void blank() { line("%s", ""); }
    uint64_t written() const { return written_; }
    uint64_t lines() const { return lines_; }

private:
    void flush() {
        size_t done = 0;
        while (done < used_) {
            ssize_t n = write(fd_, buffer_ + done, used_ - done);
            if (n <= 0) fail("cannot write", path_);
            done += n;
        }
        used_ = 0;
    }
    std::string path_;
    int fd_;
    char buffer_[kBufferSize];
    size_t used_ = 0;
    uint64_t written_ = 0;
    uint64_t lines_ = 0;
};

// A small deterministic generator, so every run measures the same files.
struct random_ids {
    uint64_t state = 0x9e3779b97f4a7c15ull;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    // Vendors of the era; device numbers from A000 up never meet the devices
    // that Tamrix adds, so the pre-scan finds none of its lines present.
    const char* vendor() {
        static const char* const vendors[] = {"8086", "1039", "10B9", "1106", "1022",
                                              "5333", "102B", "1002", "10DE", "1013"};
        return vendors[next() % (sizeof vendors / sizeof vendors[0])];
    }
    unsigned device() { return 0xA000 + next() % 0x6000; }
};

const char* const kKinds[] = {"PCI to ISA bridge", "Host to PCI bridge", "PCI to PCI bridge",
                              "IDE controller", "Power Management controller",
                              "Universal Serial Bus controller", "Processor to AGP bridge"};

struct inf_stats {
    uint64_t bytes;
    uint64_t lines;
};

// Writes a machine.inf-like file of about `size` bytes.  The filler goes
// into the four sections that the merge inserts into, after their usual
// first lines, with a comment every 40 lines.
inf_stats write_machine_inf(const std::string& path, uint64_t size) {
    inf_writer out(path);
    random_ids ids;
    const unsigned kinds = sizeof kKinds / sizeof kKinds[0];

    out.line("; MACHINE.INF  -- System devices");
    out.line("; Generated for the Tamrix merge benchmark (%llu bytes).",
             static_cast<unsigned long long>(size));
    out.blank();
    out.line("[Version]");
    out.line("Signature=\"$CHICAGO$\"");
    out.line("Class=System");
    out.line("Provider=%%Gen%%");
    out.line("LayoutFile=LAYOUT.INF");
    out.blank();
    out.line("[ClassInstall]");
    out.line("AddReg=SystemClass.AddReg");
    out.blank();
    out.line("[SystemClass.AddReg]");
    out.line("HKR,,,,%%SystemClassName%%");
    out.line("HKR,,Icon,,\"-27\"");
    out.blank();
    out.line("[Manufacturer]");
    out.line("%%GenManufacturer%%=GENERIC_SYSTEM");
    out.line("%%Gen%%=MS_SYS");
    out.blank();
    out.line("[GENERIC_SYSTEM]");
    out.line("%%*PNP0C01.DeviceDesc%%=SYSMEM_DRV,*PNP0C01");
    out.blank();

    const uint64_t header_bytes = out.written();
    const uint64_t body = size > header_bytes + 4096 ? size - header_bytes - 4096 : 0;
    // Shares of the filler: models, registry values, exclusions, strings.
    const uint64_t end_models = header_bytes + body * 30 / 100;
    const uint64_t end_addreg = header_bytes + body * 50 / 100;
    const uint64_t end_flags = header_bytes + body * 62 / 100;

    out.line("[MS_SYS]");
    out.line("%%*PNP0000.DeviceDesc%%=PIC_DRV,*PNP0000");
    out.line("%%*PNP0100.DeviceDesc%%=TIMER_DRV,*PNP0100");
    out.line("%%*PNP0A03.DeviceDesc%%=PCI_DRV,*PNP0A03");
    for (unsigned n = 0; out.written() < end_models; ++n) {
        if (n % 40 == 0) out.line("; ---- PCI devices, group %u ----", n / 40 + 1);
        const char* v = ids.vendor();
        unsigned d = ids.device();
        out.line("%%PCI\\VEN_%s&DEV_%04X.DeviceDesc%%=NO_DRV,PCI\\VEN_%s&DEV_%04X", v, d, v, d);
    }
    out.blank();
    out.line("[NO_DRV]");
    out.blank();
    out.line("[ISA_DRV]");
    out.line("AddReg=ISA_DRV_AddReg");
    out.blank();
    out.line("[PCI_DRV]");
    out.line("CopyFiles=PCI_DRV_CopyFiles");
    out.line("AddReg=PCI_DRV_AddReg");
    out.blank();
    out.line("[PCI_DRV_AddReg]");
    out.line("HKR,,DevLoader,,*CONFIGMG");
    out.line("HKR,,PCIDisableMask,1,00,00,00,00");
    for (unsigned n = 0; out.written() < end_addreg; ++n) {
        if (n % 40 == 0) out.line("; ---- bridge settings, group %u ----", n / 40 + 1);
        const char* v = ids.vendor();
        unsigned d = ids.device();
        if (n % 16 == 15)
            out.line("HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI\\IRQMiniports\\%04X%s,"
                     "Path,,\"PCIMP%u.PCI\"",
                     d, v, n % 7);
        else
            out.line("HKLM,System\\CurrentControlSet\\Services\\VxD\\PCI,%04X%s,1,%02X,00,%02X,00",
                     d, v, ids.next() % 256, ids.next() % 256);
    }
    out.blank();
    out.line("[ControlFlags]");
    for (unsigned n = 0; out.written() < end_flags; ++n) {
        if (n % 40 == 0) out.line("; ---- not for manual selection, group %u ----", n / 40 + 1);
        out.line("ExcludeFromSelect=PCI\\VEN_%s&DEV_%04X", ids.vendor(), ids.device());
    }
    out.blank();
    out.line("[Strings]");
    out.line("Gen=\"Generic\"");
    out.line("GenManufacturer=\"(Standard system devices)\"");
    out.line("SystemClassName=\"System devices\"");
    out.line("*PNP0000.DeviceDesc=\"Programmable interrupt controller\"");
    out.line("*PNP0100.DeviceDesc=\"System timer\"");
    out.line("*PNP0A03.DeviceDesc=\"PCI bus\"");
    out.line("*PNP0C01.DeviceDesc=\"System board extension\"");
    for (unsigned n = 0; out.written() + 80 < size; ++n) {
        if (n % 40 == 0) out.line("; ---- device names, group %u ----", n / 40 + 1);
        const char* v = ids.vendor();
        unsigned d = ids.device();
        out.line("PCI\\VEN_%s&DEV_%04X.DeviceDesc=\"PCI %s device %04X %s\"", v, d, v, d,
                 kKinds[ids.next() % kinds]);
    }
    out.line("; end of MACHINE.INF");
    return {out.written(), out.lines()};
}

// ---- the measured operations ------------------------------------------------------

// A plain buffered copy: read and write through one 64 KiB buffer.
double timed_copy(const std::string& from, const std::string& to, bool sync) {
    double start = now_ms();
    int in = open(from.c_str(), O_RDONLY);
    if (in < 0) fail("cannot open", from);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) fail("cannot create", to);
    for (;;) {
        ssize_t n = read(in, io_buffer, kBufferSize);
        if (n < 0) fail("cannot read", from);
        if (n == 0) break;
        if (write(out, io_buffer, n) != n) fail("cannot write", to);
    }
    if (sync && fsync(out) != 0) fail("cannot sync", to);
    close(in);
    if (close(out) != 0) fail("cannot close", to);
    return now_ms() - start;
}

// Puts a fresh copy of the generated file where the core looks for
// machine.inf, through the same seam the core uses.
void install_target(const std::string& source) {
    const char* target = target_path(chipset_file);
    platform_file out;
    if (!platform_open_write(target, &out)) fail("cannot create", target);
    int in = open(source.c_str(), O_RDONLY);
    if (in < 0) fail("cannot open", source);
    for (;;) {
        ssize_t n = read(in, io_buffer, kBufferSize);
        if (n < 0) fail("cannot read", source);
        if (n == 0) break;
        if (!platform_write(out, io_buffer, static_cast<uint32_t>(n))) fail("cannot write", target);
    }
    close(in);
    platform_close(out);
}

uint64_t target_size() {
    const char* target = target_path(chipset_file);
    platform_file in;
    if (platform_open_read(target, &in) != open_ok) fail("cannot open", target);
    uint64_t size = 0;
    for (;;) {
        int32_t n = platform_read(in, io_buffer, kBufferSize);
        if (n < 0) fail("cannot read", target);
        if (n == 0) break;
        size += n;
    }
    platform_close(in);
    return size;
}

struct child_result {
    double best_ms;
    double best_sync_ms;  // copy only
    uint64_t out_bytes;   // merge only
    int ok;
};

struct measured {
    child_result result;
    long peak_kib;
};

// Runs `body` in a child process and returns what it reported, with the
// child's own peak resident memory.
template <typename Body>
measured in_child(Body body) {
    int fds[2];
    if (pipe(fds) != 0) fail("cannot create", "a pipe");
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) fail("cannot fork", "");
    if (pid == 0) {
        close(fds[0]);
        child_result r = body();
        ssize_t n = write(fds[1], &r, sizeof r);
        (void)n;
        _exit(0);
    }
    close(fds[1]);
    measured m = {};
    ssize_t got = read(fds[0], &m.result, sizeof m.result);
    close(fds[0]);
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    if (got != static_cast<ssize_t>(sizeof m.result) || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        m.result.ok = 0;
    }
    m.peak_kib = usage.ru_maxrss;
    return m;
}

child_result run_copies(const std::string& source, const std::string& copy, int runs) {
    child_result r = {1e300, 1e300, 0, 1};
    for (int i = 0; i < runs; ++i) {
        double t = timed_copy(source, copy, false);
        if (t < r.best_ms) r.best_ms = t;
        t = timed_copy(source, copy, true);
        if (t < r.best_sync_ms) r.best_sync_ms = t;
    }
    unlink(copy.c_str());
    return r;
}

child_result run_merges(const std::string& source, int runs) {
    child_result r = {1e300, 0, 0, 1};
    for (int i = 0; i < runs; ++i) {
        install_target(source);
        double start = now_ms();
        file_outcome outcome = replace_inf_file(chipset_file, merge_chipset_inf);
        double t = now_ms() - start;
        if (outcome != replaced) {
            fprintf(stderr, "bench_merge: replace_inf_file gave outcome %d\n", outcome);
            r.ok = 0;
            return r;
        }
        if (t < r.best_ms) r.best_ms = t;
    }
    r.out_bytes = target_size();
    return r;
}

void usage() {
    fprintf(stderr,
            "usage: bench_merge [-r RUNS] [-d DIR] [-k] [SIZE_MB...]\n"
            "  SIZE_MB  sizes of the generated machine.inf in MB (default: 1 10 100)\n"
            "  -r RUNS  runs per measurement, the best one counts (default 3)\n"
            "  -d DIR   work folder (default: a new one under $TMPDIR or /tmp)\n"
            "  -k       keep the work folder\n");
    exit(2);
}

std::string mib(long kib) {
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", kib / 1024.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    bool keep = false;
    std::string dir;
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-r" && i + 1 < argc) {
            runs = atoi(argv[++i]);
            if (runs < 1) usage();
        } else if (arg == "-d" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "-k") {
            keep = true;
        } else {
            char* end = nullptr;
            double mb = strtod(arg.c_str(), &end);
            if (end == arg.c_str() || *end != '\0' || mb <= 0 || mb > 4000) usage();
            sizes.push_back(mb);
        }
    }
    if (sizes.empty()) sizes = {1, 10, 100};

    bool made_dir = false;
    if (dir.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tamrix-bench-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data())) fail("cannot create", pattern);
        dir = name.data();
        made_dir = true;
    } else if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        fail("cannot create", dir);
    }
    const std::string windows = dir + "/WINDOWS";
    if ((mkdir(windows.c_str(), 0755) != 0 && errno != EEXIST) ||
        (mkdir((windows + "/inf").c_str(), 0755) != 0 && errno != EEXIST)) {
        fail("cannot create", windows + "/inf");
    }
    // The children inherit the Windows directory, and target_path works here.
    scripted::set_windows_dir(windows);
    if (!read_windows_dir()) {
        fprintf(stderr, "bench_merge: the work folder's path is too long: %s\n", windows.c_str());
        return 2;
    }

    printf("Tamrix merge benchmark: machine.inf-like files, platform kind 1, best of %d run%s\n",
           runs, runs == 1 ? "" : "s");
    printf("work folder: %s\n\n", dir.c_str());
    printf("%8s %10s %10s %12s %10s %8s %10s %11s %11s\n", "size", "lines", "copy ms",
           "copy+sync ms", "merge ms", "ratio", "ratio/sync", "copy peak", "merge peak");

    bool all_ok = true;
    double ratio_at_10 = -1;
    long peak_min = -1, peak_max = -1;
    for (double mb : sizes) {
        const uint64_t size = static_cast<uint64_t>(mb * 1024 * 1024);
        char label[32];
        snprintf(label, sizeof label, "%g MB", mb);
        const std::string source = dir + "/source.inf";
        inf_stats stats = write_machine_inf(source, size);

        measured copy = in_child([&] { return run_copies(source, dir + "/copy.inf", runs); });
        measured merge = in_child([&] { return run_merges(source, runs); });
        if (!copy.result.ok || !merge.result.ok) {
            printf("%8s %10llu  failed (copy %s, merge %s)\n", label,
                   static_cast<unsigned long long>(stats.lines), copy.result.ok ? "ok" : "failed",
                   merge.result.ok ? "ok" : "failed");
            all_ok = false;
            continue;
        }
        double ratio = merge.result.best_ms / copy.result.best_ms;
        double ratio_sync = merge.result.best_ms / copy.result.best_sync_ms;
        printf("%8s %10llu %10.1f %12.1f %10.1f %7.2fx %9.2fx %11s %11s\n", label,
               static_cast<unsigned long long>(stats.lines), copy.result.best_ms,
               copy.result.best_sync_ms, merge.result.best_ms, ratio, ratio_sync,
               mib(copy.peak_kib).c_str(), mib(merge.peak_kib).c_str());
        if (merge.result.out_bytes <= stats.bytes) {
            printf("         the merge added nothing (%llu bytes in, %llu out)\n",
                   static_cast<unsigned long long>(stats.bytes),
                   static_cast<unsigned long long>(merge.result.out_bytes));
            all_ok = false;
        }
        if (mb == 10) ratio_at_10 = ratio;
        if (peak_min < 0 || merge.peak_kib < peak_min) peak_min = merge.peak_kib;
        if (merge.peak_kib > peak_max) peak_max = merge.peak_kib;
        unlink(source.c_str());
    }

    printf("\n");
    if (ratio_at_10 >= 0)
        printf("goal, merge within 3x the plain copy at 10 MB: %s (%.2fx)\n",
               ratio_at_10 <= 3.0 ? "met" : "NOT met", ratio_at_10);
    if (peak_min >= 0 && sizes.size() > 1) {
        // A few pages of difference is noise, not memory that grows with the file.
        bool same = peak_max - peak_min <= 512;
        printf("goal, same peak memory at every size: %s (merge peak %s to %s)\n",
               same ? "met" : "NOT met", mib(peak_min).c_str(), mib(peak_max).c_str());
    }

    if (!keep) {
        std::string target = target_path(chipset_file);
        unlink(target.c_str());
        unlink((windows + "/inf/machine.inf").c_str());
        rmdir((windows + "/inf").c_str());
        rmdir(windows.c_str());
        if (made_dir) rmdir(dir.c_str());
    }
    return all_ok ? 0 : 1;
}
