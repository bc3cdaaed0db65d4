// libFuzzer target: the merge properties (tests/merge_properties.h) on the
// fuzzer's bytes, through the real replace_inf_file on a real folder.
//
// The first byte chooses the merge: its value modulo 3 gives the chipset
// merge on platform kind 1, on kind 2, or the USB merge.  When its top bit is
// set, the next 8 bytes are a seed for the tests' INF generator instead of
// the input itself, so the fuzzer also explores well-formed files.  Any
// property that fails is printed with the input and the program aborts.
// Unless given a -dict of its own, it uses fuzz_merge.dict.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../tests/merge_properties.h"

// Runs before libFuzzer reads its flags.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Every input is written, flushed and renamed three times over: on a
    // memory file system that costs no disk syncs.
    struct stat info;
    const char* tmp = getenv("TMPDIR");
    if ((tmp == nullptr || tmp[0] == '\0') && stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode))
        setenv("TMPDIR", "/dev/shm", 1);

    // The anchors and headers of fuzz_merge.dict, unless told otherwise.
    static std::vector<char*> args;
    bool has_dict = false;
    for (int i = 0; i < *argc; i++) {
        args.push_back((*argv)[i]);
        if (strncmp((*argv)[i], "-dict=", 6) == 0) has_dict = true;
    }
    static char dict[] = "-dict=" TAMRIX_FUZZ_DICT;
    if (!has_dict && stat(TAMRIX_FUZZ_DICT, &info) == 0) {
        args.insert(args.begin() + 1, dict);
        args.push_back(nullptr);
        *argc = (int)args.size() - 1;
        *argv = args.data();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    props::merge_case which = (props::merge_case)(data[0] % props::merge_case_count);
    std::string input;
    if (data[0] & 0x80) {
        uint64_t seed = 0;
        for (size_t i = 1; i < size && i <= 8; i++) seed = seed << 8 | data[i];
        input = props::generate_inf(seed);
    } else {
        input.assign((const char*)data + 1, size - 1);
    }
    std::string failure = props::check_merge(input, which);
    if (!failure.empty()) {
        fprintf(stderr, "\n%s: %s\ninput: \"%s\"\n", props::case_name(which), failure.c_str(),
                props::escaped(input).c_str());
        abort();
    }
    return 0;
}
