// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform view of one clip: mono or left/right lanes, playhead, selection, zoom and scroll.
#pragma once

#include "audio/PeakSummary.h"
#include "ui/TimeViewport.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class QPainter;
class QScrollBar;

// GUI thread only. The widget keeps its own copies of the samples it draws, so callers may
// change or free their lists as soon as setAudioData returns.
//
// Each pixel column shows the true minimum and maximum of its samples. The summaries that
// make this cheap are built once per data change; zooming and scrolling only re-read them.
// Views handed the same lists share one copy of them and of their summaries. A hidden view
// leaves its columns, and the summaries, until it is drawn.
class WaveformWidget : public QWidget
{
    Q_OBJECT

public:
    explicit WaveformWidget(QWidget *parent = nullptr);

    // `summaries` may carry peak summaries already built of the lists: of the left and right
    // channels of `stereo`, else of `samples` (AudioProcessor::peakSummaries). Summaries of
    // other lengths are ignored, and the view builds its own when first drawn.
    void setAudioData(const QList<float> &samples, int sampleRate, const QList<float> &stereo = {},
                      std::vector<PeakSummary> summaries = {});
    void appendAudioData(const QList<float> &block, int sampleRate);
    void clearAudioData();

    void setPlayheadPosition(double seconds);
    double getPlayheadPosition() const { return playheadPosition; }

    void setZoomLevel(double zoom);
    double getZoomLevel() const { return viewport.zoom(); }
    void setViewStartSec(double seconds);
    double getViewStartSec() const { return viewport.viewStart(); }

    bool hasSelection() const { return selectionActive; }
    double getSelectionStart() const { return selectionStart; }
    double getSelectionEnd() const { return selectionEnd; }
    void clearSelection();

    void setWaveColor(const QColor &color);
    void setProgressColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    void setPlayheadColor(const QColor &color);
    // Pixels left and right of the drawn time axis, for a view stacked over another whose
    // axis starts after labels: the same time then lands at the same x in both.
    void setTimeAxisMargins(int left, int right);

signals:
    void playheadMoved(double seconds);
    void selectionChanged(double start, double end);
    void clicked(double seconds);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The lists a view draws from, with their summaries. Shared by the views handed the same
    // lists: implicit sharing keeps the lists here unchanged while they are held, and a view
    // that appends first takes a copy of its own.
    struct Clip
    {
        ~Clip();  // leaves its summaries' storage to the next clip built

        // Builds the summaries for the first view that draws the clip.
        void summarise();
        // Takes summaries built elsewhere of these lists, when they fit them.
        void adopt(std::vector<PeakSummary> &&summaries);
        // After `samples` grew from `oldCount`: only the tail blocks change.
        void summariseAppended(std::size_t oldCount);

        QList<float> samples;
        QList<float> stereo;  // interleaved left/right; empty for mono data
        bool summarised = false;
        PeakSummary samplesSummary;  // mono data only: stereo data draws just its channels
        PeakSummary leftSummary;
        PeakSummary rightSummary;
    };

    struct Lane
    {
        SampleChannel source;
        const PeakSummary &summary;
        const std::vector<float> &minPeaks;
        const std::vector<float> &maxPeaks;
        int top;
        int bottom;
        int centre;
        float halfHeight;
    };

    void drawSelection(QPainter &painter, const QRect &area);
    void drawWaveform(QPainter &painter, const QRect &area);
    void drawLane(QPainter &painter, const QRect &area, const Lane &lane);
    void drawPlayhead(QPainter &painter, const QRect &area);
    void drawEmptyState(QPainter &painter);

    static std::shared_ptr<Clip> clipFor(const QList<float> &samples, const QList<float> &stereo);
    bool isStereo() const { return !clip->stereo.isEmpty(); }
    SampleChannel leftChannel() const;
    SampleChannel rightChannel() const;
    // The columns no longer fit the data or the view: rebuilt now if shown, else when drawn.
    void peaksChanged();
    void buildPeaks();
    void buildPeaksForChannel(SampleChannel source, const PeakSummary &summary, std::vector<float> &minOut,
                              std::vector<float> &maxOut) const;
    void updateScrollBar();
    void zoomAt(double factor, int x);
    void onScrollBarMoved(int value);

    int timeAxisWidth() const;
    void placeScrollBar();
    double xToSeconds(int x) const;
    int secondsToX(double seconds) const;
    QRect waveformArea() const;

    std::shared_ptr<Clip> clip;
    int sampleRate = 44100;
    std::vector<float> minPeaks, maxPeaks;
    std::vector<float> minPeaksLeft, maxPeaksLeft;
    std::vector<float> minPeaksRight, maxPeaksRight;
    bool peaksStale = false;
    double playheadPosition = 0.0;
    bool selectionActive = false;
    double selectionStart = 0.0;
    double selectionEnd = 0.0;
    bool draggingPlayhead = false;
    bool selecting = false;
    int dragStartX = -1;
    TimeViewport viewport;
    int leftMargin = 0;
    int rightMargin = 0;
    bool autoScroll = true;
    QScrollBar *scrollBar = nullptr;
    QColor waveColor{0x00, 0xf2, 0xff};
    QColor progressColor{0xff, 0x00, 0x55};
    QColor backgroundColor{0x14, 0x14, 0x1e};
    QColor playheadColor{Qt::white};
    QColor selectionColor{255, 255, 255, 40};
};
