/* Lets atheris see its Python coverage while gcc's ASan runtime is preloaded.
 *
 * libasan defines weak no-op versions of the __sanitizer_cov_* callbacks. Preloaded
 * first, they win the symbol lookup over the libFuzzer inside atheris's core module,
 * so atheris registers its coverage counters with nobody and fuzzes blind. Preloaded
 * before libasan (ASAN_OPTIONS=verify_asan_link_order=0), this library takes those
 * names and hands each call to the libFuzzer in the module named by ATHERIS_CORE.
 * Nothing here runs unless atheris calls it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static void* libfuzzer_symbol(const char* name) {
    static void* core;
    if (core == NULL) {
        const char* path = getenv("ATHERIS_CORE");
        core = path != NULL ? dlopen(path, RTLD_NOW | RTLD_NOLOAD) : NULL;
    }
    void* symbol = core != NULL ? dlsym(core, name) : NULL;
    if (symbol == NULL) {
        fprintf(stderr, "coverage_shim: no %s in ATHERIS_CORE (%s)\n", name, dlerror());
        abort();
    }
    return symbol;
}

#define FORWARD(name, A, B)                                              \
    void name(A a, B b) {                                                \
        static void (*target)(A, B);                                     \
        if (target == NULL) target = (void (*)(A, B))libfuzzer_symbol(#name); \
        target(a, b);                                                    \
    }

FORWARD(__sanitizer_cov_8bit_counters_init, uint8_t*, uint8_t*)
FORWARD(__sanitizer_cov_pcs_init, const uintptr_t*, const uintptr_t*)
FORWARD(__sanitizer_cov_trace_cmp1, uint8_t, uint8_t)
FORWARD(__sanitizer_cov_trace_cmp2, uint16_t, uint16_t)
FORWARD(__sanitizer_cov_trace_cmp4, uint32_t, uint32_t)
FORWARD(__sanitizer_cov_trace_cmp8, uint64_t, uint64_t)
FORWARD(__sanitizer_cov_trace_const_cmp1, uint8_t, uint8_t)
FORWARD(__sanitizer_cov_trace_const_cmp2, uint16_t, uint16_t)
FORWARD(__sanitizer_cov_trace_const_cmp4, uint32_t, uint32_t)
FORWARD(__sanitizer_cov_trace_const_cmp8, uint64_t, uint64_t)
FORWARD(__sanitizer_cov_trace_switch, uint64_t, uint64_t*)
