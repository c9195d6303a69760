// SPDX-License-Identifier: GPL-3.0-or-later
// Test access to the spectrogram view, and the signals its tests feed it.
#pragma once

#include "analysis/SpectrumAnalyzerWidget.h"
#include "OracleTool.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>

#include <cmath>
#include <cstring>
#include <random>

struct SpectrumAnalyzerWidgetProbe
{
    using Channel = SpectrumAnalyzerWidget::Channel;

    // Waits for the background STFT; false after `timeoutMs`.
    static bool waitReady(SpectrumAnalyzerWidget &view, int timeoutMs = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!view.spectrumReady && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return view.spectrumReady;
    }
    static bool computing(const SpectrumAnalyzerWidget &view) { return view.worker.joinable(); }
    static const std::vector<SpectrogramColumns> &columns(const SpectrumAnalyzerWidget &view) { return view.columns; }
    static QRect plotRect(const SpectrumAnalyzerWidget &view) { return view.plotRect(); }
    static double viewStart(const SpectrumAnalyzerWidget &view) { return view.viewport.viewStart(); }
    static std::vector<SpectrumAnalyzerWidget::TimeLabel> timeLabels(const SpectrumAnalyzerWidget &view)
    {
        return view.timeLabels(view.plotRect());
    }
    static std::vector<SpectrumAnalyzerWidget::FrequencyLabel> frequencyLabels(const SpectrumAnalyzerWidget &view,
                                                                                const QRect &half, int lineHeight)
    {
        return view.frequencyLabels(half, lineHeight);
    }
    static double visibleSpan(const SpectrumAnalyzerWidget &view) { return view.viewport.visibleSpan(); }
    // Counts the STFT runs started so far.
    static quint64 computations(const SpectrumAnalyzerWidget &view) { return view.generation; }
    static QSize pictureSize(const SpectrumAnalyzerWidget &view) { return view.pictures[0].size(); }
    static void erase(SpectrumAnalyzerWidget &view, const SpectralBox &box, std::vector<Channel> channels)
    {
        view.applySpectralErase(box, channels);
    }
};

inline QList<float> tone(qsizetype frames, int rate, double hz, double amplitude)
{
    QList<float> values(frames);
    for (qsizetype i = 0; i < frames; ++i)
        values[i] = float(amplitude * std::sin(2.0 * M_PI * hz * double(i) / rate));
    return values;
}

inline void addNoise(QList<float> &values, float amplitude, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    for (float &value : values)
        value += uniform(generator);
}

inline QByteArray floatBytes(const QList<float> &values)
{
    return QByteArray(reinterpret_cast<const char *>(values.constData()), values.size() * qsizetype(sizeof(float)));
}

inline QList<float> floatsFromBytes(const QByteArray &bytes)
{
    QList<float> values(bytes.size() / qsizetype(sizeof(float)));
    std::memcpy(values.data(), bytes.constData(), std::size_t(values.size()) * sizeof(float));
    return values;
}

// numpy's STFT columns of a float32 file: x[j*512 : j*512+2048] * hanning(2048), rfft, / 2048,
// (20 lg m + 100) / 70 held to 0 .. 1, bins 0 .. 1023, column after column.
inline QList<float> numpyColumns(const QList<float> &signal, const QString &python)
{
    TestFiles files;
    const QString path = files.write("signal.f32", floatBytes(signal));
    const char *script = R"(
import sys
import numpy as np
x = np.fromfile(sys.argv[1], dtype='<f4').astype(np.float64)
n, hop = 2048, 512
w = np.hanning(n)
out = []
for j in range(0, (len(x) - n) // hop + 1 if len(x) >= n else 0):
    m = np.abs(np.fft.rfft(x[j * hop:j * hop + n] * w))[:n // 2] / n
    with np.errstate(divide='ignore'):
        v = np.where(m > 0, (20 * np.log10(m) + 100) / 70, 0.0)
    out.append(np.clip(v, 0, 1))
sys.stdout.buffer.write(np.array(out, dtype='<f4').tobytes())
)";
    const ToolResult numpy = runTool(python, {"-c", script, path});
    return numpy.ok() ? floatsFromBytes(numpy.standardOutput) : QList<float>();
}
