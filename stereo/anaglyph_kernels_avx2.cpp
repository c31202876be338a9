// The anaglyph methods' loops built for AVX2, called only where the processor has it.

#define K3V_ANAGLYPH_NAMESPACE avx2
#include "stereo/anaglyph_kernels.inl"
