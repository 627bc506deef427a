// Analysis side of the AAC filter bank: sine and Kaiser-Bessel-derived window slopes
// and the forward MDCT, all in double precision.
#pragma once

#include "ZozTestAacEncoder.h"

#include <vector>

namespace ZozTestAac {

// Rising half of a window of `length` samples (length / 2 values): shape 0 sine,
// 1 Kaiser-Bessel derived (alpha 4 for long windows, 6 for short ones).
const std::vector<double> &windowSlope(int shape, int length);

// X[k] = 2 * sum z[n] cos(2 pi / N (n + n0)(k + 1/2)), n0 = (N / 2 + 1) / 2, for
// N = 2 * lines input samples; lines = 1024, 960, 128 or 120.
void forwardMdct(const double *input, int lines, double *spectrum);

// The spectra of one channel for a block of 2 * frameLength samples: frameLength lines
// for long sequences, 8 windows of frameLength / 8 lines one after the other for
// eight short windows. previousShape shapes the left slope, shape the right.
void analyseBlock(const double *block, int frameLength, WindowSequence sequence, int previousShape, int shape,
                  double *spectrum);

} // namespace ZozTestAac
