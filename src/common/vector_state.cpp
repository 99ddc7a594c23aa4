#include "vector_state.h"

namespace kabuka {

void releaseUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool hasAvx = __builtin_cpu_supports("avx");
  if (hasAvx) {
    // Code built without AVX keeps nothing in the upper halves it clears.
    asm volatile("vzeroupper" ::: "memory");
  }
#endif
}

}  // namespace kabuka
