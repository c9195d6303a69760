// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a short numpy script as an independent oracle for DSP tests.
#pragma once

#include "OracleTool.h"

#include <QByteArray>
#include <QString>

#include <vector>


// Runs `script` with `input` on stdin; returns every whitespace-separated number it prints.
// `ok` is false when the script failed.
std::vector<double> runNumpy(const QString &script, const QByteArray &input, bool *ok);

// Raw little-endian float32 bytes, as numpy.frombuffer reads them.
QByteArray float32Bytes(const std::vector<float> &samples);
