// One dial gauge, 600 x 600, fed the way the window feeds it: a new value every
// 20 ms for some seconds (the needle never rests), then the same value written
// every 20 ms. Prints the frame times and needle repaints of both phases; a value
// that does not change must render nothing at all.
//
//   bench_gauge [--seconds S] [--hold S] [--shot FILE]
//
// --shot FILE skips the timing and saves a picture of the vertical channel's
// example instead: scale unit 0.4, limits -6 and 6, value 6.
//
// Runs on the offscreen platform with the software backend unless the
// environment names others.

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int paintCount(QObject *canvas)
{
    return canvas->property("paintCount").toInt();
}

struct FrameStats
{
    std::vector<qint64> durationsNs;

    void add(qint64 ns) { durationsNs.push_back(ns); }
    size_t count() const { return durationsNs.size(); }
    double meanMs() const
    {
        double sum = 0;
        for (qint64 d : durationsNs)
            sum += d;
        return durationsNs.empty() ? 0 : sum / durationsNs.size() / 1e6;
    }
    double percentileMs(double p) const
    {
        if (durationsNs.empty())
            return 0;
        std::vector<qint64> sorted = durationsNs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[size_t(p * (sorted.size() - 1))] / 1e6;
    }
};

// Times each frame from the update request that starts it (before the needle's
// canvas is painted during polish) to the end of its swap, and sorts the frames
// by whether the needle was painted in them.
class FrameTimer : public QObject
{
public:
    FrameTimer(QQuickWindow *window, QObject *canvas)
        : m_canvas(canvas)
    {
        window->installEventFilter(this);
        connect(window, &QQuickWindow::frameSwapped, this, [this] {
            ++m_frames;
            if (m_inFrame) {
                const qint64 ns = m_clock.nsecsElapsed() - m_startNs;
                (paintCount(m_canvas) != m_paintsAtStart ? withNeedle : withoutNeedle).add(ns);
                m_inFrame = false;
            }
        }, Qt::DirectConnection);
        m_clock.start();
    }

    void reset()
    {
        m_frames = 0;
        withNeedle = FrameStats();
        withoutNeedle = FrameStats();
    }
    int frames() const { return m_frames; }

    FrameStats withNeedle;
    FrameStats withoutNeedle;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest) {
            m_inFrame = true;
            m_startNs = m_clock.nsecsElapsed();
            m_paintsAtStart = paintCount(m_canvas);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QObject *m_canvas;
    QElapsedTimer m_clock;
    qint64 m_startNs = 0;
    int m_paintsAtStart = 0;
    bool m_inFrame = false;
    int m_frames = 0;
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        spin(5);
    }
    return true;
}

// Feeds the indicator as the window's poll does: a value and the detector's
// work flag every 20 ms.
class Feeder : public QObject
{
public:
    Feeder(QObject *indicator, std::function<double(double)> value, bool work)
        : m_indicator(indicator), m_value(std::move(value)), m_work(work)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QQmlProperty::write(m_indicator, QStringLiteral("mess"), m_value(m_clock.elapsed() / 1000.0));
            if (m_work)
                QQmlProperty::write(m_indicator, QStringLiteral("blDetect1WorkInput"), true);
        });
        m_clock.start();
        m_timer.start();
    }

private:
    QObject *m_indicator;
    std::function<double(double)> m_value;
    bool m_work;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

int saveShot(QQuickView &view, QObject *indicator, QObject *canvas, const QString &file)
{
    QQmlProperty::write(indicator, QStringLiteral("mess"), 6.0);
    // The needle is drawn once more when the smoothing reaches its end value.
    if (!spinUntil([&] { return indicator->property("mess").toDouble() == 6.0; }, 5000)) {
        std::fprintf(stderr, "the value did not reach 6\n");
        return 1;
    }
    const int painted = paintCount(canvas);
    spinUntil([&] { return paintCount(canvas) > painted; }, 1000);
    spin(100);

    QImage image = view.grabWindow();
    // The offscreen platform keeps the software renderer's pixels in its
    // backing store, which only the screen can grab.
    if (image.isNull() && view.screen())
        image = view.screen()->grabWindow(view.winId()).toImage();
    if (image.isNull() || !image.save(file)) {
        std::fprintf(stderr, "could not grab or save %s\n", qPrintable(file));
        return 1;
    }
    std::printf("saved %s (%dx%d)\n", qPrintable(file), image.width(), image.height());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");

    QGuiApplication app(argc, argv);
    double animateSeconds = 5.0;
    double holdSeconds = 2.0;
    QString shotFile;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            animateSeconds = args[i + 1].toDouble();
        else if (args[i] == QLatin1String("--hold"))
            holdSeconds = args[i + 1].toDouble();
        else if (args[i] == QLatin1String("--shot"))
            shotFile = args[i + 1];
    }

    QQuickView view;
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral("qrc:/bench/gaugebench.qml")));
    if (view.status() != QQuickView::Ready || !view.rootObject()) {
        for (const QQmlError &error : view.errors())
            std::fprintf(stderr, "%s\n", qPrintable(error.toString()));
        return 1;
    }
    QObject *indicator = view.rootObject()->findChild<QObject *>(QStringLiteral("inputIndicator"));
    QObject *canvas = view.rootObject()->findChild<QObject *>(QStringLiteral("canvasGauge"));
    if (!indicator || !canvas) {
        std::fprintf(stderr, "gauge parts not found\n");
        return 1;
    }
    view.resize(600, 600);
    FrameTimer frameTimer(&view, canvas);
    view.show();
    if (!spinUntil([&] { return frameTimer.frames() > 0 && paintCount(canvas) > 0; }, 5000)) {
        std::fprintf(stderr, "the gauge was never rendered\n");
        return 1;
    }

    if (!shotFile.isEmpty())
        return saveShot(view, indicator, canvas, shotFile);

    std::printf("gauge bench: %dx%d gauge, platform %s, Qt Quick backend %s\n", view.width(),
                view.height(), qPrintable(QGuiApplication::platformName()),
                qgetenv("QT_QUICK_BACKEND").constData());

    // Phase 1: the needle swings over +-15 divisions and never rests.
    int paintsBefore = paintCount(canvas);
    frameTimer.reset();
    QElapsedTimer wall;
    {
        Feeder feeder(indicator, [](double t) { return 6.0 * std::sin(2 * M_PI * t / 1.5); }, true);
        wall.start();
        spin(int(animateSeconds * 1000));
    }
    const double animatedSeconds = wall.elapsed() / 1000.0;
    const int animatedFrames = frameTimer.frames();
    const int animatedPaints = paintCount(canvas) - paintsBefore;
    const FrameStats &with = frameTimer.withNeedle;
    const FrameStats &without = frameTimer.withoutNeedle;
    std::printf("animated value, %.1f s: %d frames (%.1f per s), needle repaints %d (%.1f per s)\n",
                animatedSeconds, animatedFrames, animatedFrames / animatedSeconds, animatedPaints,
                animatedPaints / animatedSeconds);
    std::printf("  frames with a needle repaint: %zu, frame time mean %.2f ms, p95 %.2f ms, max %.2f ms\n",
                with.count(), with.meanMs(), with.percentileMs(0.95), with.percentileMs(1.0));
    std::printf("  other frames:                 %zu, frame time mean %.2f ms, p95 %.2f ms, max %.2f ms\n",
                without.count(), without.meanMs(), without.percentileMs(0.95), without.percentileMs(1.0));

    // Phase 2: the same value at every poll, as from a trolley standing still
    // whose detector went quiet. Let the smoothing end and the lamp take its
    // last step before counting.
    {
        Feeder feeder(indicator, [](double) { return 2.0; }, false);
        spinUntil([&] {
            return indicator->property("mess").toDouble() == 2.0
                    && !indicator->property("blDetect1WorkInput").toBool();
        }, 5000);
        spin(700);
        paintsBefore = paintCount(canvas);
        frameTimer.reset();
        wall.restart();
        spin(int(holdSeconds * 1000));
    }
    std::printf("same value written every 20 ms, %.1f s: %d frames, %d needle repaints\n",
                wall.elapsed() / 1000.0, frameTimer.frames(), paintCount(canvas) - paintsBefore);
    return 0;
}
