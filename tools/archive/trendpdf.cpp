#include "trendpdf.h"

#include "pdfpage.h"

#include <QDateTime>
#include <QPainter>
#include <QTextCodec>

#include <algorithm>
#include <cmath>
#include <functional>

// The page, fonts, colours, footer and tables are the run report's, so the
// two lie side by side in the engineer's folder alike.
using namespace PdfColour;

namespace {

constexpr double tableHeaderMm = 6.0;
constexpr double titleBlockMm = 70.0;
constexpr int chartsPerPage = 2;

const QColor fitLine(232, 128, 0);

int pagesFor(int rows, int perPage)
{
    return rows <= 0 ? 1 : (rows + perPage - 1) / perPage;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString signedNumber(double value, int decimals)
{
    const QString text = number(value, decimals);
    return value > 0 && text != number(0, decimals) ? QLatin1Char('+') + text : text;
}

QString limitText(double value)
{
    return QString::number(value, 'g', 12);
}

QString bandText(const Limits &l)
{
    return QStringLiteral("от %1 до %2 мм").arg(limitText(l.low), limitText(l.high));
}

QString dayText(double day, int offset)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(day * Trend::msPerDay)), Qt::OffsetFromUTC, offset)
        .toString(QStringLiteral("dd.MM.yyyy"));
}

class Writer : public PdfPage
{
public:
    Writer(const TrendReport &report, QPdfWriter *pdf, QPainter *painter)
        : PdfPage(pdf, painter), m_report(report), m_total(TrendPdf::pages(report))
    {
        m_offset = report.input.runs.empty() ? 0 : report.input.runs.back().date.offsetFromUtc();
    }

    bool run();

private:
    bool newPage();
    void titleBlock();
    bool table(const QString &title, const QVector<Column> &columns, int count, int firstRows, double y,
               const std::function<QStringList(int)> &cells, const QString &none);
    void chartHead();
    void chart(double top, double height, const SpotTrend &spot);

    const TrendReport &m_report;
    int m_total;
    int m_offset = 0;
};

bool Writer::newPage()
{
    return startPage(QStringLiteral("Tervalo · тренд по архиву: линия %1, путь %2").arg(m_report.line, m_report.track),
                     m_total);
}

void Writer::titleBlock()
{
    const TrendReport &r = m_report;
    const std::vector<ArchivedRun> &runs = r.input.runs;
    heading(QStringLiteral("Проверка контактного рельса: тренд по архиву, линия %1, путь %2").arg(r.line, r.track));

    int withRate = 0, already = 0, withinYear = 0, flagged[3] = { 0, 0, 0 };
    const double lastDay = runs.empty() ? 0 : Trend::dayOf(runs.back().date);
    for (const SpotTrend &s : r.result.spots) {
        withRate += s.hasRate ? 1 : 0;
        already += s.hasRate && s.reach == SpotTrend::Already ? 1 : 0;
        withinYear += s.hasRate && s.reach == SpotTrend::OnDate && s.reachDay <= lastDay + 365.2425 ? 1 : 0;
        for (int f = 0; f < 3; ++f)
            flagged[f] += (s.flags >> f) & 1;
    }
    const QString none = QStringLiteral("—");
    auto asked = [&](const QDate &d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : none; };
    const QVector<TitleLine> left {
        { QStringLiteral("Линия, путь"), r.line + QStringLiteral(", ") + r.track },
        { QStringLiteral("Период"), QStringLiteral("с %1 по %2").arg(asked(r.from), asked(r.to)) },
        { QStringLiteral("Проездов"),
          runs.empty() ? QStringLiteral("0")
                       : QStringLiteral("%1, с %2 по %3")
                             .arg(runs.size())
                             .arg(ArchiveQuery::dateText(runs.front().date), ArchiveQuery::dateText(runs.back().date)) },
        { QStringLiteral("Точек с трендом"),
          QStringLiteral("%1 (с показаниями в %2 проездах и больше)").arg(withRate).arg(Trend::minimumRuns) },
        { QStringLiteral("Уже за допуском"), QString::number(already) },
        { QStringLiteral("Выход за 12 месяцев"), QString::number(withinYear) },
    };
    const QVector<TitleLine> right {
        { QStringLiteral("Допуск, вертикаль"), bandText(r.limits[Vertical]) },
        { QStringLiteral("Допуск, горизонталь"), bandText(r.limits[Horizontal]) },
        { QStringLiteral("«Хуже»"), QStringLiteral("ближе к пределу больше чем на %1 мм").arg(limitText(r.worse)) },
        { QStringLiteral("Флаги точек"), QStringLiteral("новое %1, хуже %2, исправлено %3")
                                             .arg(flagged[0])
                                             .arg(flagged[1])
                                             .arg(flagged[2]) },
        { QStringLiteral("Отчёт составлен"), ArchiveQuery::dateText(QDateTime::currentDateTime()) },
    };
    const double lineMm = 5.0, half = m_width / 2;
    titleColumn(left, 0, 12, lineMm, half - 2);
    titleColumn(right, half, 12, lineMm, half - 2);
    const double noteY = 12 + std::max(left.size(), right.size()) * lineMm + 1;
    note(noteY, titleBlockMm - noteY - 2,
         QStringLiteral(
             "Точка: четверть метра линии, пикет × 100 ± расстояние, так что прямые и обратные проезды "
             "совпадают; пикет точки — тот, за которым она лежит. Скорость: наклон прямой наименьших "
             "квадратов по датам проездов, мм в месяц (месяц 30.44 сут.). Выход за допуск: где прямая "
             "достигнет предела, к которому идёт; точка за допуском в последнем проезде — «уже», пересечение "
             "раньше последнего проезда — его дата. В строке пикета — точка, раньше всех достигающая "
             "предела, и флаги всех его точек: последний проезд с показанием против предыдущего с "
             "показанием в пределах 0.5 м; «новое» — за допуском, а тогда в пределах 0.5 м всё в допуске; "
             "«исправлено» — тогда за допуском, теперь в пределах 0.5 м всё в допуске."));
}

bool Writer::table(const QString &title, const QVector<Column> &columns, int count, int firstRows, double y,
                   const std::function<QStringList(int)> &cells, const QString &none)
{
    int done = 0;
    bool first = true;
    do {
        if (!first) {
            if (!newPage())
                return false;
            y = 0;
        }
        tableTitle(y, title, !first);
        y += tableTitleMm;
        if (count == 0) {
            text(0, y, m_width, rowMm, Qt::AlignLeft | Qt::AlignVCenter, none, 9);
            return true;
        }
        tableHeader(columns, y, tableHeaderMm);
        y += tableHeaderMm;
        const int end = std::min(count, done + (first ? firstRows : TrendPdf::rowsPerPage));
        for (int i = done; i < end; ++i, y += rowMm)
            tableRow(columns, cells(i), y, (i - done) % 2 == 1);
        done = end;
        first = false;
    } while (done < count);
    return true;
}

bool Writer::run()
{
    const TrendReport &r = m_report;
    if (!newPage())
        return false;
    titleBlock();

    const Qt::Alignment L = Qt::AlignLeft, R = Qt::AlignRight;
    const QVector<Column> summary {
        { QStringLiteral("Пикет"), 18, L, true },
        { QStringLiteral("Первая у предела"), 36, L, true },
        { QStringLiteral("Канал"), 26, L, true },
        { QStringLiteral("Проездов"), 20, R, true },
        { QStringLiteral("Последнее, мм"), 30, R, true },
        { QStringLiteral("Скорость, мм/мес"), 34, R, true },
        { QStringLiteral("Выход за допуск"), 34, L, true },
        { QStringLiteral("Флаги пикета"), 60, L, true },
    };
    auto summaryCells = [&](int i) {
        const PicketTrend &p = r.result.pickets[size_t(i)];
        QStringList cells { QStringLiteral("ПК %1").arg(p.picket) };
        if (p.firstSpot < 0) {
            cells << QStringLiteral("меньше %1 проездов").arg(Trend::minimumRuns) << QString() << QString()
                  << QString() << QString() << QString();
        } else {
            const SpotTrend &s = r.result.spots[size_t(p.firstSpot)];
            cells << RunChunks::spotText(s.quarter) << channelName(s.channel) << QString::number(s.readings)
                  << number(s.latest, 3) << signedNumber(s.rate, 2) << Trend::reachText(s, m_offset);
        }
        return cells << Trend::flagsText(p.flags);
    };
    if (!table(QStringLiteral("Сводка по пикетам"), summary, int(r.result.pickets.size()), TrendPdf::firstPageRows,
               titleBlockMm, summaryCells,
               QStringLiteral("Нет точки с показаниями в %1 проездах и нет флагов.").arg(Trend::minimumRuns)))
        return false;

    if (!newPage())
        return false;
    const QVector<Column> runColumns {
        { QStringLiteral("№"), 10, R, true },
        { QStringLiteral("Дата"), 30, L, true },
        { QStringLiteral("Дата по"), 26, L, true },
        { QStringLiteral("Оператор"), 40, L, true },
        { QStringLiteral("Тележка"), 30, L, true },
        { QStringLiteral("Файл"), 70, L, true },
        { QStringLiteral("Строк"), 20, R, true },
        { QStringLiteral("Пикеты"), 40, L, true },
    };
    auto runCells = [&](int i) {
        const ArchivedRun &run = r.input.runs[size_t(i)];
        return QStringList { QString::number(i + 1),     ArchiveQuery::dateText(run.date),
                             ArchiveQuery::dateSourceText(run.dateSource), run.operatorName,
                             run.trolley,                run.fileName,
                             QString::number(run.rows),  ArchiveQuery::coverageText(run) };
    };
    if (!table(QStringLiteral("Проезды"), runColumns, int(r.input.runs.size()), TrendPdf::rowsPerPage, 0, runCells,
               QStringLiteral("Нет проездов за этот период.")))
        return false;

    const std::vector<int> worst = r.worstSpots(TrendPdf::charts);
    const double headMm = 9, chartMm = (m_height - footerMm - headMm) / chartsPerPage;
    for (size_t i = 0; i < worst.size(); ++i) {
        if (i % chartsPerPage == 0) {
            if (!newPage())
                return false;
            chartHead();
        }
        chart(headMm + (i % chartsPerPage) * chartMm, chartMm - 3, r.result.spots[size_t(worst[i])]);
    }
    return true;
}

void Writer::chartHead()
{
    text(0, 0, m_width * 0.6, 7, Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("Точки, раньше всех достигающие предела"), 11, true);
    struct Key { QColor colour; int kind; QString label; };  // kind: 0 line, 1 fill, 2 dot
    const QVector<Key> keys { { runLine, 2, QStringLiteral("показание проезда") },
                              { exceedLine, 2, QStringLiteral("за допуском") },
                              { fitLine, 0, QStringLiteral("прямая тренда") },
                              { bandFill, 1, QStringLiteral("допуск") } };
    double x = m_width;
    for (int i = keys.size() - 1; i >= 0; --i) {
        const double w = metrics(8).horizontalAdvance(keys[i].label) / m_u + 1;
        x -= w;
        text(x, 0, w, 7, Qt::AlignLeft | Qt::AlignVCenter, keys[i].label, 8);
        x -= 7;
        if (keys[i].kind == 1) {
            m_p->fillRect(rect(x, 2, 5, 3), keys[i].colour);
        } else if (keys[i].kind == 0) {
            m_p->setPen(pen(keys[i].colour, 0.5, Qt::DashLine));
            m_p->drawLine(QPointF((x) * m_u, 3.5 * m_u), QPointF((x + 5) * m_u, 3.5 * m_u));
        } else {
            m_p->setPen(Qt::NoPen);
            m_p->setBrush(keys[i].colour);
            m_p->drawEllipse(QPointF((x + 2.5) * m_u, 3.5 * m_u), 0.8 * m_u, 0.8 * m_u);
            m_p->setBrush(Qt::NoBrush);
        }
        x -= 4;
    }
}

// One spot's readings against the run dates, the tolerance band, the fitted
// line and where it meets the limit.
void Writer::chart(double top, double height, const SpotTrend &spot)
{
    const TrendReport &r = m_report;
    const Limits &lim = r.limits[spot.channel];
    struct Point { double day; double value; };
    std::vector<Point> points;
    for (int run = 0; run < int(r.input.runs.size()); ++run) {
        const qint32 v = r.input.value(run, spot.quarter, spot.channel);
        if (v != RunChunks::noReading && v != TrendInput::noRow)
            points.push_back({ Trend::dayOf(r.input.runs[size_t(run)].date), v / 1000.0 });
    }
    if (points.empty())
        return;
    const double first = points.front().day, last = points.back().day;
    const double span = std::max(last - first, 30.0);
    // The future shown is a year, or as long as the past when that is longer,
    // so the readings keep their room; a crossing beyond it is named in the title.
    double x0 = first - span * 0.05;
    double x1 = last + span * 0.2;
    if (spot.reach == SpotTrend::OnDate)
        x1 = std::min(std::max(x1, spot.reachDay + span * 0.05), last + std::max(span, 365.2425));
    const auto fitted = [&](double day) { return spot.meanValue + spot.rate / Trend::daysPerMonth * (day - spot.meanDay); };

    double lo = std::min(lim.low, lim.high), hi = std::max(lim.low, lim.high);
    for (const Point &p : points) {
        lo = std::min(lo, p.value);
        hi = std::max(hi, p.value);
    }
    if (spot.hasRate) {
        for (double d : { x0, x1 }) {
            lo = std::min(lo, std::max(fitted(d), lo - (hi - lo)));
            hi = std::max(hi, std::min(fitted(d), hi + (hi - lo)));
        }
    }
    const double pad = std::max(hi - lo, 2.0) * 0.08;
    lo -= pad;
    hi += pad;

    const double titleMm = 6, axisMm = 14, tickMm = 5;
    const QRectF plot(axisMm, top + titleMm, m_width - axisMm, height - titleMm - tickMm);
    auto px = [&](double d) { return (plot.left() + (d - x0) / (x1 - x0) * plot.width()) * m_u; };
    auto py = [&](double v) { return (plot.bottom() - (v - lo) / (hi - lo) * plot.height()) * m_u; };
    const QRectF device(plot.left() * m_u, plot.top() * m_u, plot.width() * m_u, plot.height() * m_u);

    QString title = RunChunks::spotText(spot.quarter) + QStringLiteral(", ") + channelName(spot.channel).toLower()
                    + QStringLiteral(" (допуск ") + bandText(lim) + QStringLiteral(")");
    if (spot.hasRate)
        title += QStringLiteral(": %1 мм/мес, выход за допуск: %2")
                     .arg(signedNumber(spot.rate, 2), Trend::reachText(spot, m_offset));
    if (spot.flags)
        title += QStringLiteral("; ") + Trend::flagsText(spot.flags);
    text(0, top, m_width, titleMm, Qt::AlignLeft | Qt::AlignVCenter, fit(title, m_width, 9.5, true), 9.5, true);

    m_p->save();
    m_p->setClipRect(device);
    if (lim.low <= lim.high)
        m_p->fillRect(QRectF(QPointF(device.left(), py(lim.high)), QPointF(device.right(), py(lim.low))), bandFill);
    // A tick on the first of every month, or of every quarter or year when
    // the dates run long.
    const int months = int((x1 - x0) / Trend::daysPerMonth);
    const int every = months <= 14 ? 1 : months <= 40 ? 3 : months <= 120 ? 12 : 60;
    const QDate start = QDateTime::fromMSecsSinceEpoch(qint64(x0 * Trend::msPerDay), Qt::OffsetFromUTC, m_offset).date();
    QVector<QPair<double, QString>> ticks;
    for (QDate d(start.year(), 1, 1);; d = d.addMonths(every)) {
        const double day = Trend::dayOf(QDateTime(d, QTime(0, 0), Qt::OffsetFromUTC, m_offset));
        if (day > x1)
            break;
        if (day < x0 || (d.month() - 1) % every != 0)
            continue;
        ticks.append({ day, d.toString(every >= 12 ? QStringLiteral("yyyy") : QStringLiteral("MM.yyyy")) });
        m_p->setPen(pen(grid, 0.15));
        m_p->drawLine(QPointF(px(day), device.top()), QPointF(px(day), device.bottom()));
    }
    m_p->setPen(pen(limitLine, 0.3, Qt::DashLine));
    for (double v : { lim.low, lim.high })
        m_p->drawLine(QPointF(device.left(), py(v)), QPointF(device.right(), py(v)));
    if (spot.hasRate) {
        m_p->setPen(pen(fitLine, 0.35, Qt::DashLine));
        m_p->drawLine(QPointF(px(x0), py(fitted(x0))), QPointF(px(x1), py(fitted(x1))));
        if (spot.reach == SpotTrend::OnDate && spot.reachDay <= x1) {
            m_p->setPen(pen(exceedLine, 0.25, Qt::DotLine));
            m_p->drawLine(QPointF(px(spot.reachDay), device.top()), QPointF(px(spot.reachDay), device.bottom()));
        }
    }
    m_p->setPen(pen(runLine, 0.3));
    QPolygonF line;
    for (const Point &p : points)
        line << QPointF(px(p.day), py(p.value));
    m_p->drawPolyline(line);
    for (const Point &p : points) {
        const bool out = lim.classify(p.value) >= Out;
        m_p->setPen(Qt::NoPen);
        m_p->setBrush(out ? exceedLine : runLine);
        m_p->drawEllipse(QPointF(px(p.day), py(p.value)), 0.8 * m_u, 0.8 * m_u);
    }
    m_p->setBrush(Qt::NoBrush);
    m_p->restore();

    m_p->setPen(pen(ink, 0.25));
    m_p->drawRect(device);
    const double yStep = std::pow(10.0, std::floor(std::log10((hi - lo) / 3)));
    const double step = (hi - lo) / yStep > 12 ? yStep * 2 : yStep;
    for (double v = std::ceil(lo / step) * step; v <= hi; v += step)
        text(0, py(v) / m_u - 2, axisMm - 1.5, 4, Qt::AlignRight | Qt::AlignVCenter, number(v, step < 1 ? 1 : 0), 7,
             false, faint);
    double right = -1e9;
    for (const auto &t : ticks) {
        const double x = px(t.first) / m_u;
        if (x - 8 > right) {
            text(x - 8, plot.bottom() + 0.5, 16, tickMm - 1, Qt::AlignCenter, t.second, 7, false, faint);
            right = x + 8;
        }
    }
}

} // namespace

std::vector<int> TrendReport::worstSpots(size_t count) const
{
    std::vector<int> spots;
    for (const PicketTrend &p : result.pickets)
        if (p.firstSpot >= 0)
            spots.push_back(p.firstSpot);
    std::stable_sort(spots.begin(), spots.end(),
                     [&](int a, int b) { return Trend::before(result.spots[size_t(a)], result.spots[size_t(b)]); });
    if (spots.size() > count)
        spots.resize(count);
    return spots;
}

int TrendPdf::pages(const TrendReport &report)
{
    const int pickets = int(report.result.pickets.size());
    const int summary = pickets <= firstPageRows ? 1 : 1 + pagesFor(pickets - firstPageRows, rowsPerPage);
    const int runs = pagesFor(int(report.input.runs.size()), rowsPerPage);
    const int charts = (int(report.worstSpots(TrendPdf::charts).size()) + chartsPerPage - 1) / chartsPerPage;
    return summary + runs + charts;
}

bool TrendPdf::write(const TrendReport &report, QIODevice *device, QString *error)
{
    return PdfPage::write(device, QStringLiteral("tervalo-archive"),
                          QStringLiteral("Тренд: линия %1, путь %2").arg(report.line, report.track),
                          [&](QPdfWriter *pdf, QPainter *painter) { return Writer(report, pdf, painter).run(); }, error);
}

namespace TrendCsv {

bool write(const TrendReport &report, QIODevice *device)
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    if (!codec)
        return false;
    const int offset = report.input.runs.empty() ? 0 : report.input.runs.back().date.offsetFromUtc();
    QString text = QStringLiteral("Точка;Канал;Проездов;Последнее, мм;Дата последнего;Скорость, мм/мес;"
                                  "Выход за допуск;Флаги;\n");
    for (const SpotTrend &s : report.result.spots) {
        const QStringList fields {
            RunChunks::spotText(s.quarter),
            channelName(s.channel),
            QString::number(s.readings),
            number(s.latest, 3),
            ArchiveQuery::dateText(report.input.runs[size_t(s.latestRun)].date),
            s.hasRate ? number(s.rate, 3) : QString(),
            Trend::reachText(s, offset),
            Trend::flagsText(s.flags),
        };
        text += fields.join(QLatin1Char(';')) + QLatin1String(";\n");
    }
    const QByteArray bytes = codec->fromUnicode(text);
    return device->write(bytes) == bytes.size();
}

} // namespace TrendCsv
