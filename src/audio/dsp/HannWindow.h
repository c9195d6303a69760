// SPDX-License-Identifier: GPL-3.0-or-later
// The Hann window of every spectral and overlap-add effect, computed in double precision.
#pragma once

#include <cstddef>
#include <vector>

// 0.5 (1 - cos(2 pi i / period)).
float hannPoint(std::size_t i, std::size_t period);

// `length` points. Periodic (period = length) for overlap-add frames, whose shifted copies sum
// to a constant; symmetric (period = length - 1) where both ends of the frame must be 0.
enum class HannShape { Periodic, Symmetric };
std::vector<float> hannWindow(std::size_t length, HannShape shape);
