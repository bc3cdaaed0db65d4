// The merge benchmark: how long the edits of a large INF file take against a
// plain buffered copy of the same file, and how much memory they need.
//
//   bench_merge [-r ROUNDS] [-d DIR] [-k] [SIZE_MB...]     (default: 1 10 100)
//   bench_merge -w FILE SIZE_MB
//
// For each size it writes a machine.inf-like and a usb.inf-like file of
// that size (the sections the merges look for, filled with realistic lines,
// CR LF endings) into a work folder, then runs ROUNDS rounds (default 9).
// Each round runs each of these in a child process of its own, so that each
// peak memory is that of one operation on one size alone:
//   copy        read and write the machine.inf-like file through a 64 KiB
//               buffer;
//   copy+sync   the same, and force the copy to disk, as the edits do with
//               out.inf;
//   chipset     replace_inf_file(chipset_file, merge_chipset_inf), platform
//               kind 1, on a Windows folder DIR/WINDOWS whose inf/machine.inf
//               is a fresh copy of the machine.inf-like file;
//   usb         replace_inf_file(usb_file, merge_usb_inf) on a fresh copy of
//               the usb.inf-like file;
//   strip       replace_inf_file(chipset_file, uninstall_inf) on a
//               fresh copy of the chipset merge's result.
// Only the operation is timed, not the copy put in place before it.  For
// each it prints the median time, and the median over the rounds of its
// time against the same round's copy, with the smallest and the largest of
// those ratios; the strip must give the machine.inf-like file back byte for
// byte.
//
// -w writes the machine.inf-like file of one size to FILE and exits: the
// input of bench/process_bench.sh.
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

#include <algorithm>
#include <string>
#include <vector>

#include "../inf/inf_templates.h"
#include "../ops/inf_replace.h"
#include "bench_platform.h"

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

// Writes a usb.inf-like file of about `size` bytes: a few manufacturers,
// a model section for each with the Intel one among them, the install
// sections, and the device names under [Strings] filling half of it.
inf_stats write_usb_inf(const std::string& path, uint64_t size) {
    inf_writer out(path);
    random_ids ids;
    static const char* const makers[] = {"Intel", "SIS", "VIA", "ALi", "AMD", "OPTi"};
    const unsigned maker_count = sizeof makers / sizeof makers[0];

    out.line("; USB.INF  -- USB host controllers");
    out.line("; Generated for the Tamrix merge benchmark (%llu bytes).",
             static_cast<unsigned long long>(size));
    out.blank();
    out.line("[Version]");
    out.line("Signature=\"$CHICAGO$\"");
    out.line("Class=USB");
    out.line("Provider=%%Msft%%");
    out.line("LayoutFile=LAYOUT.INF");
    out.blank();
    out.line("[Manufacturer]");
    for (unsigned m = 0; m < maker_count; ++m) out.line("%%%s.Mfg%%=%s.Section", makers[m], makers[m]);
    out.blank();

    const uint64_t header_bytes = out.written();
    const uint64_t body = size > header_bytes + 4096 ? size - header_bytes - 4096 : 0;
    const uint64_t models_end = header_bytes + body * 45 / 100;
    const uint64_t installs_end = header_bytes + body * 50 / 100;
    for (unsigned m = 0; m < maker_count; ++m) {
        out.line("[%s.Section]", makers[m]);
        const uint64_t end = header_bytes + (models_end - header_bytes) * (m + 1) / maker_count;
        for (unsigned n = 0; out.written() < end; ++n) {
            if (n % 40 == 0) out.line("; ---- host controllers, group %u ----", n / 40 + 1);
            const char* v = ids.vendor();
            unsigned d = ids.device();
            out.line("%%PCI\\VEN_%s&DEV_%04X.DeviceDesc%%=%s,PCI\\VEN_%s&DEV_%04X", v, d,
                     n % 2 ? "UHCI.Dev" : "OHCI.Dev", v, d);
        }
        out.blank();
    }
    for (unsigned n = 0; out.written() < installs_end; ++n) {
        out.line("[HC%u.Dev]", n);
        out.line("AddReg=HC%u.AddReg", n);
        out.line("CopyFiles=HC%u.CopyFiles", n);
        out.line("HKR,,DevLoader,,*ntkern");
        out.line("HKR,,NTMPDriver,,\"uhcd.sys\"");
        out.blank();
    }
    out.line("[Strings]");
    out.line("Msft=\"Microsoft\"");
    for (unsigned m = 0; m < maker_count; ++m) out.line("%s.Mfg=\"%s\"", makers[m], makers[m]);
    for (unsigned n = 0; out.written() + 100 < size; ++n) {
        if (n % 40 == 0) out.line("; ---- controller names, group %u ----", n / 40 + 1);
        const char* v = ids.vendor();
        unsigned d = ids.device();
        out.line("PCI\\VEN_%s&DEV_%04X.DeviceDesc=\"%s PCI to USB %s Host Controller %04X\"", v, d,
                 makers[ids.next() % maker_count], n % 2 ? "Universal" : "Open", d);
    }
    out.line("; end of USB.INF");
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

// Puts a fresh copy of a file where the core looks for a target, through
// the same seam the core uses.
void install_target(inf_target which, const std::string& source) {
    const char* target = target_path(which);
    platform_file out;
    if (!platform_open_write(target, &out, write_anew)) fail("cannot create", target);
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

// Copies a target's file out to `to`, as it is on disk.
void save_target(inf_target which, const std::string& to) {
    const char* target = target_path(which);
    platform_file in;
    if (platform_open_read(target, &in) != open_ok) fail("cannot open", target);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) fail("cannot create", to);
    for (;;) {
        int32_t n = platform_read(in, io_buffer, kBufferSize);
        if (n < 0) fail("cannot read", target);
        if (n == 0) break;
        if (write(out, io_buffer, n) != n) fail("cannot write", to);
    }
    platform_close(in);
    if (close(out) != 0) fail("cannot close", to);
}

uint64_t file_size(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) fail("cannot stat", path);
    return static_cast<uint64_t>(info.st_size);
}

bool same_files(const std::string& a, const std::string& b) {
    FILE* fa = fopen(a.c_str(), "rb");
    FILE* fb = fopen(b.c_str(), "rb");
    if (!fa || !fb) fail("cannot open", !fa ? a : b);
    static char other[kBufferSize];
    bool same = true;
    for (;;) {
        size_t na = fread(io_buffer, 1, kBufferSize, fa);
        size_t nb = fread(other, 1, kBufferSize, fb);
        if (na != nb || memcmp(io_buffer, other, na) != 0) {
            same = false;
            break;
        }
        if (na == 0) break;
    }
    fclose(fa);
    fclose(fb);
    return same;
}

enum operation { op_copy, op_copy_sync, op_chipset, op_usb, op_strip, op_count };
const char* const kOperationNames[op_count] = {"copy", "copy + fsync", "chipset merge",
                                               "usb merge", "strip"};

struct child_result {
    double ms;
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

// One replacement, timed; the target's file is put in place first.
child_result timed_replace(inf_target which, const std::string& source, inf_edit edit) {
    install_target(which, source);
    double start = now_ms();
    file_outcome outcome = replace_inf_file(which, edit, 1);
    double ms = now_ms() - start;
    if (outcome != replaced) {
        fprintf(stderr, "bench_merge: replace_inf_file gave outcome %d\n", outcome);
        return {ms, 0};
    }
    return {ms, 1};
}

struct work_files {
    std::string machine, usb, merged, copy;
};

child_result run_operation(operation op, const work_files& files) {
    switch (op) {
    case op_copy: return {timed_copy(files.machine, files.copy, false), 1};
    case op_copy_sync: return {timed_copy(files.machine, files.copy, true), 1};
    case op_chipset: return timed_replace(chipset_file, files.machine, merge_chipset_inf);
    case op_usb: return timed_replace(usb_file, files.usb, merge_usb_inf);
    case op_strip: return timed_replace(chipset_file, files.merged, uninstall_inf);
    default: return {0, 0};
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void usage() {
    fprintf(stderr,
            "usage: bench_merge [-r ROUNDS] [-d DIR] [-k] [SIZE_MB...]\n"
            "       bench_merge -w FILE SIZE_MB\n"
            "  SIZE_MB   sizes of the generated INF files in MB (default: 1 10 100)\n"
            "  -r ROUNDS rounds of every operation, the median counts (default 9)\n"
            "  -d DIR    work folder (default: a new one under $TMPDIR or /tmp)\n"
            "  -k        keep the work folder\n"
            "  -w FILE   write the machine.inf-like file of SIZE_MB to FILE and exit\n");
    exit(2);
}

std::string mib(long kib) {
    char text[32];
    snprintf(text, sizeof text, "%.1f MiB", kib / 1024.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 9;
    bool keep = false;
    std::string dir, write_only;
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-r" && i + 1 < argc) {
            rounds = atoi(argv[++i]);
            if (rounds < 1) usage();
        } else if (arg == "-d" && i + 1 < argc) {
            dir = argv[++i];
        } else if (arg == "-w" && i + 1 < argc) {
            write_only = argv[++i];
        } else if (arg == "-k") {
            keep = true;
        } else {
            char* end = nullptr;
            double mb = strtod(arg.c_str(), &end);
            if (end == arg.c_str() || *end != '\0' || mb <= 0 || mb > 4000) usage();
            sizes.push_back(mb);
        }
    }
    if (!write_only.empty()) {
        if (sizes.size() != 1) usage();
        inf_stats stats = write_machine_inf(write_only, static_cast<uint64_t>(sizes[0] * 1024 * 1024));
        printf("%s: %llu bytes, %llu lines\n", write_only.c_str(),
               static_cast<unsigned long long>(stats.bytes), static_cast<unsigned long long>(stats.lines));
        return 0;
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
    bench_set_windows_dir(windows);
    if (!read_windows_dir()) {
        fprintf(stderr, "bench_merge: the work folder's path is too long: %s\n", windows.c_str());
        return 2;
    }
    work_files files = {dir + "/machine-source.inf", dir + "/usb-source.inf",
                        dir + "/machine-merged.inf", dir + "/copy.inf"};
    // The targets as this program's own calls name them.
    const std::string machine_target = windows + "/inf/machine.inf";
    const std::string usb_target = windows + "/inf/usb.inf";

    printf("Tamrix merge benchmark: generated INF files, platform kind 1, median of %d round%s\n",
           rounds, rounds == 1 ? "" : "s");
    printf("work folder: %s\n", dir.c_str());

    bool all_ok = true;
    double chipset_at_10 = -1;
    long peak_min[op_count], peak_max[op_count];
    for (int op = 0; op < op_count; ++op) peak_min[op] = peak_max[op] = -1;
    for (double mb : sizes) {
        const uint64_t size = static_cast<uint64_t>(mb * 1024 * 1024);
        inf_stats machine = write_machine_inf(files.machine, size);
        inf_stats usb = write_usb_inf(files.usb, size);
        // The strip's input: the chipset merge's result.
        measured merged = in_child([&] {
            child_result r = timed_replace(chipset_file, files.machine, merge_chipset_inf);
            save_target(chipset_file, files.merged);
            return r;
        });
        if (!merged.result.ok) {
            printf("\n%g MB: the chipset merge failed\n", mb);
            all_ok = false;
            continue;
        }

        std::vector<double> times[op_count], ratios[op_count], sync_ratios[op_count];
        long peak[op_count] = {};
        bool ok = true;
        for (int round = 0; round < rounds && ok; ++round) {
            double round_ms[op_count];
            for (int op = 0; op < op_count && ok; ++op) {
                measured m = in_child([&] { return run_operation(static_cast<operation>(op), files); });
                if (!m.result.ok) {
                    printf("\n%g MB: %s failed\n", mb, kOperationNames[op]);
                    ok = false;
                    break;
                }
                round_ms[op] = m.result.ms;
                times[op].push_back(m.result.ms);
                if (m.peak_kib > peak[op]) peak[op] = m.peak_kib;
            }
            if (!ok) break;
            for (int op = 0; op < op_count; ++op) {
                ratios[op].push_back(round_ms[op] / round_ms[op_copy]);
                sync_ratios[op].push_back(round_ms[op] / round_ms[op_copy_sync]);
            }
        }
        if (!ok) {
            all_ok = false;
            continue;
        }

        printf("\n%g MB: machine.inf %llu lines (%llu bytes), usb.inf %llu lines (%llu bytes)\n", mb,
               static_cast<unsigned long long>(machine.lines),
               static_cast<unsigned long long>(machine.bytes),
               static_cast<unsigned long long>(usb.lines), static_cast<unsigned long long>(usb.bytes));
        printf("  %-14s %10s %22s %14s %12s\n", "operation", "median ms", "/ copy (range)",
               "/ copy+fsync", "peak memory");
        for (int op = 0; op < op_count; ++op) {
            if (op == op_copy) {
                printf("  %-14s %10.1f %22s %14s %12s\n", kOperationNames[op], median(times[op]), "",
                       "", mib(peak[op]).c_str());
                peak_min[op] = peak_min[op] < 0 || peak[op] < peak_min[op] ? peak[op] : peak_min[op];
                peak_max[op] = peak[op] > peak_max[op] ? peak[op] : peak_max[op];
                continue;
            }
            char range[64];
            auto bounds = std::minmax_element(ratios[op].begin(), ratios[op].end());
            snprintf(range, sizeof range, "%.2fx (%.2f-%.2f)", median(ratios[op]), *bounds.first,
                     *bounds.second);
            char sync[32];
            snprintf(sync, sizeof sync, "%.2fx", median(sync_ratios[op]));
            printf("  %-14s %10.1f %22s %14s %12s\n", kOperationNames[op], median(times[op]), range,
                   sync, mib(peak[op]).c_str());
            if (peak_min[op] < 0 || peak[op] < peak_min[op]) peak_min[op] = peak[op];
            if (peak[op] > peak_max[op]) peak_max[op] = peak[op];
        }
        if (mb == 10) chipset_at_10 = median(ratios[op_chipset]);

        // What the edits wrote, from the last round.
        if (file_size(files.merged) <= machine.bytes) {
            printf("  the chipset merge added nothing\n");
            all_ok = false;
        }
        if (file_size(usb_target) <= usb.bytes) {
            printf("  the usb merge added nothing\n");
            all_ok = false;
        }
        if (!same_files(machine_target, files.machine)) {
            printf("  the strip did not give the machine.inf-like file back\n");
            all_ok = false;
        }
    }

    printf("\n");
    if (chipset_at_10 >= 0)
        printf("goal, chipset merge within 2x the plain copy at 10 MB: %s (%.2fx)\n",
               chipset_at_10 <= 2.0 ? "met" : "NOT met", chipset_at_10);
    if (sizes.size() > 1) {
        // A few pages of difference is noise, not memory that grows with the file.
        bool same = true;
        std::string spans;
        for (int op = op_chipset; op < op_count; ++op) {
            if (peak_min[op] < 0) continue;
            same = same && peak_max[op] - peak_min[op] <= 512;
            spans += std::string(spans.empty() ? "" : ", ") + kOperationNames[op] + " " +
                     mib(peak_min[op]) + " to " + mib(peak_max[op]);
        }
        printf("goal, same peak memory at every size: %s (%s)\n", same ? "met" : "NOT met",
               spans.c_str());
    }

    if (!keep) {
        for (const std::string& path :
             {machine_target, usb_target, files.machine, files.usb, files.merged, files.copy})
            unlink(path.c_str());
        rmdir((windows + "/inf").c_str());
        rmdir(windows.c_str());
        if (made_dir) rmdir(dir.c_str());
    }
    return all_ok ? 0 : 1;
}
