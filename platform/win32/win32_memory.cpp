// The few C runtime routines that the compiler itself may call: it turns
// structure copies and clears into memcpy and memset, and counting loops
// into strlen, even in code that never names them.  No C runtime is linked, so they live here, as plain
// byte loops.  The loops must not be recognised as the very routines they
// implement, hence no_tree_loop_distribute_patterns (and -fno-builtin for
// this file in win32.cmake).
//
// ___chkstk_ms, which the compiler calls in front of a stack frame larger
// than a page, is here too: it touches each new page in turn so that the
// stack grows through its guard page.
#include <stddef.h>

#define TAMRIX_PLAIN_LOOP __attribute__((optimize("no-tree-loop-distribute-patterns"), used))

extern "C" {

TAMRIX_PLAIN_LOOP void* memcpy(void* to, const void* from, size_t size) {
    unsigned char* t = static_cast<unsigned char*>(to);
    const unsigned char* f = static_cast<const unsigned char*>(from);
    while (size-- > 0)
        *t++ = *f++;
    return to;
}

TAMRIX_PLAIN_LOOP void* memmove(void* to, const void* from, size_t size) {
    unsigned char* t = static_cast<unsigned char*>(to);
    const unsigned char* f = static_cast<const unsigned char*>(from);
    if (t < f) {
        while (size-- > 0)
            *t++ = *f++;
    } else {
        while (size-- > 0)
            t[size] = f[size];
    }
    return to;
}

TAMRIX_PLAIN_LOOP void* memset(void* to, int value, size_t size) {
    unsigned char* t = static_cast<unsigned char*>(to);
    while (size-- > 0)
        *t++ = static_cast<unsigned char>(value);
    return to;
}

TAMRIX_PLAIN_LOOP int memcmp(const void* a, const void* b, size_t size) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; size > 0; --size, ++x, ++y) {
        if (*x != *y)
            return *x < *y ? -1 : 1;
    }
    return 0;
}

TAMRIX_PLAIN_LOOP size_t strlen(const char* text) {
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

}  // extern "C"

// In: the frame size in eax (rax).  Every register is kept.
#if defined(__i386__)
asm(".text\n"
    ".globl ___chkstk_ms\n"
    "___chkstk_ms:\n"
    "    pushl %ecx\n"
    "    pushl %eax\n"
    "    leal 12(%esp), %ecx\n"  // the caller's stack pointer
    "1:  cmpl $0x1000, %eax\n"
    "    jb 2f\n"
    "    subl $0x1000, %ecx\n"
    "    orl $0, (%ecx)\n"
    "    subl $0x1000, %eax\n"
    "    jmp 1b\n"
    "2:  subl %eax, %ecx\n"
    "    orl $0, (%ecx)\n"
    "    popl %eax\n"
    "    popl %ecx\n"
    "    ret\n");
#elif defined(__x86_64__)
asm(".text\n"
    ".globl ___chkstk_ms\n"
    "___chkstk_ms:\n"
    "    pushq %rcx\n"
    "    pushq %rax\n"
    "    leaq 24(%rsp), %rcx\n"
    "1:  cmpq $0x1000, %rax\n"
    "    jb 2f\n"
    "    subq $0x1000, %rcx\n"
    "    orq $0, (%rcx)\n"
    "    subq $0x1000, %rax\n"
    "    jmp 1b\n"
    "2:  subq %rax, %rcx\n"
    "    orq $0, (%rcx)\n"
    "    popq %rax\n"
    "    popq %rcx\n"
    "    ret\n");
#endif
