// The anaglyph methods' loops built for the baseline instruction set.

#define K3V_ANAGLYPH_NAMESPACE sse2
#include "stereo/anaglyph_kernels.inl"
