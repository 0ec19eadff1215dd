#include "platform/cpu.h"

namespace platform {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {
__attribute__((target("avx"))) void clearUpperHalves() {
    __builtin_ia32_vzeroupper();
}
}  // namespace

void clearUpperVectorState() {
    if (__builtin_cpu_supports("avx")) clearUpperHalves();
}

#else

void clearUpperVectorState() {}

#endif

}  // namespace platform
