#pragma once
// Which vector instructions the fast kernels use: the widest the processor has, chosen once at
// run time. Tests lower it to check every path against the scalar reference on one machine.

namespace k3v {

enum class SimdLevel { Scalar = 0, Sse2 = 1, Avx2 = 2 };

SimdLevel ActiveSimdLevel();

// The widest level the processor has, whatever the cap.
SimdLevel SupportedSimdLevel();

// Caps the level (never raises it above what the processor has); for tests and benchmarks.
void LimitSimdLevel(SimdLevel highest);

}  // namespace k3v
