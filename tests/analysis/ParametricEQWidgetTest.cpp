// SPDX-License-Identifier: GPL-3.0-or-later
// The equaliser graph: its band responses against numpy evaluations of the cookbook design,
// and its mouse, wheel and menu editing.
#include "analysis/ParametricEQWidget.h"

#include "OracleTool.h"
#include "Requirement.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

namespace {

// float64 and float32 designs of the cookbook band, |H| in dB by direct evaluation on the
// unit circle. Reads "type f0 gain q fs" lines and the probe frequencies from argv.
const char *const cookbookOracle = R"PY(
import sys, numpy as np
freqs = np.array([float(v) for v in sys.argv[1].split(',')])
def design(t, f0, g, q, fs, dt):
    A = dt(10.0) ** (dt(g) / dt(40.0)); w0 = dt(2.0 * np.pi * f0 / fs)
    c = np.cos(w0, dtype=dt); s = np.sin(w0, dtype=dt); al = s / (dt(2) * dt(q)); r = dt(2) * np.sqrt(A) * al
    one = dt(1); two = dt(2)
    if t == 0: b = [one + al*A, -two*c, one - al*A]; a = [one + al/A, -two*c, one - al/A]
    elif t == 1:
        b = [A*((A+one)-(A-one)*c+r), two*A*((A-one)-(A+one)*c), A*((A+one)-(A-one)*c-r)]
        a = [(A+one)+(A-one)*c+r, -two*((A-one)+(A+one)*c), (A+one)+(A-one)*c-r]
    elif t == 2:
        b = [A*((A+one)+(A-one)*c+r), -two*A*((A-one)+(A+one)*c), A*((A+one)+(A-one)*c-r)]
        a = [(A+one)-(A-one)*c+r, two*((A-one)-(A+one)*c), (A+one)-(A-one)*c-r]
    elif t == 3: b = [(one-c)/two, one-c, (one-c)/two]; a = [one+al, -two*c, one-al]
    elif t == 4: b = [(one+c)/two, -(one+c), (one+c)/two]; a = [one+al, -two*c, one-al]
    elif t == 5: b = [one, -two*c, one]; a = [one+al, -two*c, one-al]
    else: b = [al, dt(0), -al]; a = [one+al, -two*c, one-al]
    return np.array([x / a[0] for x in b], dtype=np.float64), np.array([x / a[0] for x in a], dtype=np.float64)
def response(b, a, fs):
    z = np.exp(-1j * 2 * np.pi * freqs / fs)
    h = (b[0] + b[1]*z + b[2]*z*z) / (a[0] + a[1]*z + a[2]*z*z)
    return 20 * np.log10(np.maximum(np.abs(h), 1e-12))
for line in sys.stdin:
    t, f0, g, q, fs = line.split(); t = int(t); f0, g, q, fs = map(float, (f0, g, q, fs))
    r64 = response(*design(t, f0, g, q, fs, np.float64), fs)
    r32 = response(*design(t, f0, g, q, fs, np.float32), fs)
    print(' '.join('%.6f' % v for v in r64)); print(' '.join('%.6f' % v for v in r32))
)PY";

QList<double> numbersOf(const QByteArray &line)
{
    QList<double> values;
    for (const QByteArray &field : line.split(' '))
        values.append(field.toDouble());
    return values;
}

TEST(EqResponse, EveryBandShapeMatchesTheCookbookDesignEvaluatedByNumpy)
{
    const QString python = pythonWith(QStringLiteral("numpy"));
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3-numpy is not installed");

    struct Case
    {
        int type;
        float f0, gain, q, fs;
    };
    QList<Case> cases;
    for (int type = 0; type <= 6; ++type)
        for (float f0 : {100.0f, 1000.0f, 8000.0f})
            for (float gain : {-12.0f, 6.0f})
                for (float q : {0.5f, 1.0f, 4.0f})
                    for (float fs : {44100.0f, 48000.0f})
                        cases.append({type, f0, gain, q, fs});
    QList<double> probes;
    for (int i = 0; i < 240; ++i)
        probes.append(20.0 * std::pow(1000.0, i / 239.0));  // 20 Hz ... 20 kHz
    QStringList probeTexts;
    for (double f : probes)
        probeTexts.append(QString::number(f, 'g', 17));
    QByteArray input;
    for (const Case &c : cases)
        input += QStringLiteral("%1 %2 %3 %4 %5\n").arg(c.type).arg(c.f0).arg(c.gain).arg(c.q).arg(c.fs).toLatin1();

    const ToolResult numpy = runTool(python, {QStringLiteral("-c"), QString::fromLatin1(cookbookOracle), probeTexts.join(',')}, input);
    ASSERT_TRUE(numpy.ok()) << numpy.standardError.toStdString();
    const QList<QByteArray> lines = numpy.standardOutput.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2 * cases.size());

    int compared = 0;
    for (qsizetype k = 0; k < cases.size(); ++k) {
        const Case &c = cases[k];
        SCOPED_TRACE(testing::Message() << "type " << c.type << " f0 " << c.f0 << " gain " << c.gain << " Q " << c.q
                                        << " fs " << c.fs);
        const QList<double> exact = numbersOf(lines[2 * k]);
        const QList<double> single = numbersOf(lines[2 * k + 1]);
        for (qsizetype i = 0; i < probes.size(); ++i) {
            if (exact[i] <= -40.0)
                continue;
            const double ours = ParametricEQWidget::computeFilterMagnitude(
                float(probes[i]), c.f0, c.gain, c.q, ParametricEQWidget::FilterType(c.type), c.fs);
            const double error = std::min(std::abs(ours - exact[i]), std::abs(ours - single[i]));
            ASSERT_LE(error, 0.1) << "at " << probes[i] << " Hz: " << ours << " against " << exact[i];
            ++compared;
        }
    }
    EXPECT_GT(compared, cases.size() * 150);
}

TEST(EqResponse, InvalidArgumentsGiveZeroDecibels)
{
    using W = ParametricEQWidget;
    EXPECT_EQ(W::computeFilterMagnitude(0.0f, 1000.0f, 12.0f, 1.0f, W::Bell, 44100.0f), 0.0f);
    EXPECT_EQ(W::computeFilterMagnitude(1000.0f, 0.0f, 12.0f, 1.0f, W::Bell, 44100.0f), 0.0f);
    EXPECT_EQ(W::computeFilterMagnitude(1000.0f, 1000.0f, 12.0f, 1.0f, W::Bell, 0.0f), 0.0f);
    EXPECT_EQ(W::computeFilterMagnitude(1000.0f, 1000.0f, 12.0f, 1.0f, W::FilterType(9), 44100.0f), 0.0f);
    EXPECT_NEAR(W::computeFilterMagnitude(1000.0f, 1000.0f, 12.0f, 1.0f, W::Bell, 44100.0f), 12.0f, 1e-4f);
}

TEST(EqResponse, ABandAboveNyquistActsJustBelowIt)
{
    // The default 12 kHz high shelf on 22.05 kHz audio: drawn where it acts, and finite.
    const float capped = ParametricEQWidget::computeFilterMagnitude(11000.0f, 12000.0f, 6.0f, 1.0f,
                                                                     ParametricEQWidget::HighShelf, 22050.0f);
    const float atCap = ParametricEQWidget::computeFilterMagnitude(11000.0f, 0.49f * 22050.0f, 6.0f, 1.0f,
                                                                    ParametricEQWidget::HighShelf, 22050.0f);
    EXPECT_TRUE(std::isfinite(capped));
    EXPECT_EQ(capped, atCap);
    EXPECT_NEAR(capped, 6.0f, 0.5f);
}

// The graph as shown at 1000 x 600: plot from (55, 20) to (989, 569).
class EqGraph : public ::testing::Test
{
public:
    void SetUp() override
    {
        graph.resize(1000, 600);
        graph.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
        graph.repaint();
    }

    static constexpr double left = 55, top = 20, width = 935, height = 550;
    static QPoint at(double hz, double db)
    {
        return QPointF(left + width * (std::log10(hz) - std::log10(20.0)) / 3.0, top + height * (1.0 - (db + 24.0) / 48.0))
            .toPoint();
    }
    QPoint pointOf(int band) const { return at(graph.band(band).frequency, graph.band(band).gainDb); }
    void move(const QPoint &to)
    {
        QMouseEvent event(QEvent::MouseMove, to, graph.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&graph, &event);
    }
    void wheel(const QPoint &position, int delta)
    {
        QWheelEvent event(position, graph.mapToGlobal(position), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&graph, &event);
    }

    ParametricEQWidget graph;
};

TEST_F(EqGraph, MouseAndWheelGestures)
{
    struct Gesture
    {
        const char *name;
        std::function<void(EqGraph &)> act;
        std::function<void(const ParametricEQWidget &)> check;
    };
    const Gesture gestures[] = {
        {"drag the 1 kHz bell to 2 kHz, +6 dB",
         [](EqGraph &t) {
             QTest::mousePress(&t.graph, Qt::LeftButton, {}, t.pointOf(2));
             t.move(at(2000, 6));
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, at(2000, 6));
         },
         [](const ParametricEQWidget &g) {
             EXPECT_NEAR(g.band(2).frequency, 2000.0f, 2000.0f * 0.01f);
             EXPECT_NEAR(g.band(2).gainDb, 6.0f, 0.1f);
             EXPECT_EQ(g.getSelectedBand(), 2);
         }},
        {"drag past the plot's corner pins at 20 kHz and +24 dB",
         [](EqGraph &t) {
             QTest::mousePress(&t.graph, Qt::LeftButton, {}, t.pointOf(3));
             t.move(QPoint(999, 2));
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, QPoint(999, 2));
         },
         [](const ParametricEQWidget &g) {
             EXPECT_FLOAT_EQ(g.band(3).frequency, 20000.0f);
             EXPECT_FLOAT_EQ(g.band(3).gainDb, 24.0f);
         }},
        {"drag past the lower left pins at 20 Hz and -24 dB",
         [](EqGraph &t) {
             QTest::mousePress(&t.graph, Qt::LeftButton, {}, t.pointOf(1));
             t.move(QPoint(3, 598));
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, QPoint(3, 598));
         },
         [](const ParametricEQWidget &g) {
             EXPECT_NEAR(g.band(1).frequency, 20.0f, 1e-3f);
             EXPECT_FLOAT_EQ(g.band(1).gainDb, -24.0f);
         }},
        {"a wheel notch up multiplies Q by 1.15, two down divide by 1.15 twice",
         [](EqGraph &t) {
             t.wheel(t.pointOf(2), 120);
             t.wheel(t.pointOf(0), -240);
         },
         [](const ParametricEQWidget &g) {
             EXPECT_NEAR(g.band(2).q, 1.15f, 1e-5f);
             EXPECT_NEAR(g.band(0).q, 1.0f / (1.15f * 1.15f), 1e-5f);
         }},
        {"the wheel turns the selected band's Q wherever the pointer is",
         [](EqGraph &t) {
             QTest::mouseClick(&t.graph, Qt::LeftButton, {}, t.pointOf(4));
             t.wheel(QPoint(500, 560), 120);
         },
         [](const ParametricEQWidget &g) { EXPECT_NEAR(g.band(4).q, 1.15f, 1e-5f); }},
        {"a double-click resets gain and Q, and a 1 px jitter before the release does not drag",
         [](EqGraph &t) {
             t.graph.setBand(2, {true, 1000.0f, 9.0f, 3.0f, ParametricEQWidget::Bell, Qt::green});
             t.graph.repaint();
             const QPoint p = t.pointOf(2);
             QTest::mousePress(&t.graph, Qt::LeftButton, {}, p);
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, p);
             QTest::mouseDClick(&t.graph, Qt::LeftButton, {}, p);
             t.move(p + QPoint(1, 1));
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, p + QPoint(1, 1));
             t.move(p + QPoint(30, 30));
         },
         [](const ParametricEQWidget &g) {
             EXPECT_EQ(g.band(2).gainDb, 0.0f);
             EXPECT_EQ(g.band(2).q, 1.0f);
             EXPECT_EQ(g.band(2).frequency, 1000.0f);
             EXPECT_EQ(g.band(2).type, ParametricEQWidget::Bell);
         }},
        {"a press away from every band selects none and changes nothing",
         [](EqGraph &t) {
             QTest::mousePress(&t.graph, Qt::LeftButton, {}, QPoint(500, 100));
             t.move(QPoint(600, 200));
             QTest::mouseRelease(&t.graph, Qt::LeftButton, {}, QPoint(600, 200));
         },
         [](const ParametricEQWidget &g) {
             EXPECT_EQ(g.getSelectedBand(), -1);
             EXPECT_EQ(g.band(2).frequency, 1000.0f);
             EXPECT_EQ(g.band(2).gainDb, 0.0f);
         }},
    };
    for (const Gesture &gesture : gestures) {
        SCOPED_TRACE(gesture.name);
        for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
            ParametricEQWidget::EQBand b = graph.band(i);
            b.gainDb = 0.0f;
            b.q = 1.0f;
            b.frequency = std::array{80.0f, 250.0f, 1000.0f, 4000.0f, 12000.0f}[std::size_t(i)];
            graph.setBand(i, b);
        }
        QTest::mouseClick(&graph, Qt::LeftButton, {}, QPoint(500, 100));
        graph.repaint();
        gesture.act(*this);
        gesture.check(graph);
    }
}

TEST_F(EqGraph, BandMenuChangesTypeEnabledResetAndBypass)
{
    struct Choice
    {
        const char *name;
        QStringList path;  // submenu title, then action; or just the action
        std::function<void(const ParametricEQWidget &)> check;
    };
    const Choice choices[] = {
        {"type", {QStringLiteral("Filter Type"), QStringLiteral("Notch")},
         [](const ParametricEQWidget &g) { EXPECT_EQ(g.band(2).type, ParametricEQWidget::Notch); }},
        {"reset", {QStringLiteral("Reset Band")},
         [](const ParametricEQWidget &g) {
             EXPECT_EQ(g.band(2).gainDb, 0.0f);
             EXPECT_EQ(g.band(2).q, 1.0f);
             EXPECT_EQ(g.band(2).frequency, 1500.0f);
         }},
        {"bypass", {QStringLiteral("Bypass All")}, [](const ParametricEQWidget &g) { EXPECT_TRUE(g.isBypassed()); }},
        {"disable", {QStringLiteral("Enabled")}, [](const ParametricEQWidget &g) { EXPECT_FALSE(g.band(2).enabled); }},
    };
    for (const Choice &choice : choices) {
        SCOPED_TRACE(choice.name);
        graph.setBand(2, {true, 1500.0f, 5.0f, 2.0f, ParametricEQWidget::Bell, Qt::green});
        graph.setBypassed(false);
        graph.repaint();
        const QPoint p = pointOf(2);
        // The menu runs modally: pick the item once it shows.
        bool picked = false;
        QTimer::singleShot(50, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (const QString &step : choice.path) {
                if (!menu)
                    break;
                for (QAction *action : menu->actions()) {
                    if (action->text() != step)
                        continue;
                    if (action->menu()) {
                        menu = action->menu();
                    } else {
                        action->trigger();
                        picked = true;
                    }
                    break;
                }
            }
            if (auto *popup = QApplication::activePopupWidget())
                popup->close();
            while (auto *popup = QApplication::activePopupWidget())
                popup->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, p, graph.mapToGlobal(p));
        QApplication::sendEvent(&graph, &event);
        EXPECT_TRUE(picked);
        EXPECT_EQ(graph.getSelectedBand(), 2);
        choice.check(graph);
    }
    // A disabled band can no longer be hit.
    QTest::mousePress(&graph, Qt::LeftButton, {}, pointOf(2));
    EXPECT_EQ(graph.getSelectedBand(), -1);
}

TEST(EqCurve, FlatWhenEveryBandIsAtZeroDecibels)
{
    ParametricEQWidget graph;
    for (float value : graph.computeEQCurve(300))
        EXPECT_NEAR(value, 0.0f, 1e-4f);
}

} // namespace

// Captions of bands at one gain and a few hundred hertz apart (the defaults at 0 dB, or bands
// dragged together) never cover one another, and stay inside the plot, at any width.
TEST(EqCaptions, NeverOverlapAndStayInThePlot)
{
    QFont font;
    font.setPointSize(7);
    const struct
    {
        const char *name;
        std::array<float, ParametricEQWidget::bandCount> hz;
        float db;
    } layouts[] = {
        {"defaults", {100.0f, 300.0f, 1000.0f, 3000.0f, 10000.0f}, 0.0f},
        {"bunched", {900.0f, 1000.0f, 1100.0f, 1200.0f, 1300.0f}, 6.0f},
        {"at the top", {100.0f, 150.0f, 200.0f, 250.0f, 300.0f}, 24.0f},
    };
    for (const auto &layout : layouts) {
        for (int width : {420, 640, 1000}) {
            SCOPED_TRACE(testing::Message() << layout.name << " in " << width);
            ParametricEQWidget graph;
            for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
                graph.setBandFrequency(i, layout.hz[std::size_t(i)]);
                graph.setBandGain(i, layout.db);
            }
            const QRect plot(50, 10, width - 60, 240);
            const std::vector<QRectF> boxes = graph.captionBoxes(plot, font);
            ASSERT_EQ(boxes.size(), std::size_t(ParametricEQWidget::bandCount));
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                EXPECT_TRUE(QRectF(plot).contains(boxes[i])) << i;
                for (std::size_t j = 0; j < i; ++j)
                    EXPECT_FALSE(boxes[i].intersects(boxes[j])) << j << " and " << i;
            }
        }
    }
}
