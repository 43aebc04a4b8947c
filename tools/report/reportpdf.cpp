#include "reportpdf.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int resolution = 600;       // dots per inch of the PDF's coordinate space
constexpr double marginMm = 12.0;
constexpr double footerMm = 6.0;
constexpr double rowMm = 5.2;         // one table row
constexpr double tableTitleMm = 8.0;
constexpr double tableHeaderMm = 6.0;
constexpr double titleBlockMm = 70.0; // the first page's block above the list

const QColor ink(20, 20, 20);
const QColor faint(110, 110, 110);
const QColor grid(222, 222, 222);
const QColor bandFill(214, 239, 214);
const QColor limitLine(196, 0, 0);
const QColor exceedFill(255, 206, 206);
const QColor exceedLine(214, 0, 0);
const QColor runLine(22, 62, 150);
const QColor otherLine(232, 128, 0);
const QColor differenceBar(140, 40, 170);
const QColor picketLine(60, 60, 60);

int pagesFor(int rows, int perPage)
{
    return rows <= 0 ? 1 : (rows + perPage - 1) / perPage;
}

// 1, 2 or 5 times a power of ten, at least raw.
double niceStep(double raw)
{
    if (!(raw > 0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0) * power;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Limits as typed: 6, -6.5, 0.25; no trailing zeros to puzzle over.
QString limitText(double value)
{
    return QString::number(value, 'g', 12);
}

QString bandText(const Limits &l)
{
    return QStringLiteral("от %1 до %2 мм").arg(limitText(l.low), limitText(l.high));
}

QString fileName(const Protocol &p)
{
    return QFileInfo(p.path).fileName();
}

QString dateText(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QStringLiteral("—");
}

QString directionText(const Protocol &p)
{
    bool forward = false, reverse = false;
    for (const ProtocolRow &r : p.rows)
        (r.forward ? forward : reverse) = true;
    if (forward && reverse)
        return QStringLiteral("прямое и обратное");
    return forward ? QStringLiteral("прямое") : reverse ? QStringLiteral("обратное") : QStringLiteral("—");
}

struct Column
{
    QString title;
    double width;  // mm
    Qt::Alignment align;
};

class Writer
{
public:
    Writer(const Report &report, double metresPerPage, QPdfWriter &pdf, QPainter &painter)
        : m_report(report)
        , m_rows(report.protocol.rows)
        , m_mpp(metresPerPage)
        , m_pdf(pdf)
        , m_p(painter)
        , m_u(resolution / 25.4)
        , m_layout(ReportPdf::layout(report, metresPerPage))
    {
        m_width = pdf.width() / m_u;
        m_height = pdf.height() / m_u;
        m_family = QStringList { QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans") };
    }

    bool run();

private:
    QRectF rect(double x, double y, double w, double h) const { return QRectF(x * m_u, y * m_u, w * m_u, h * m_u); }
    QPointF point(double x, double y) const { return QPointF(x * m_u, y * m_u); }
    QFont font(double points, bool bold = false) const;
    QPen pen(const QColor &c, double mm, Qt::PenStyle style = Qt::SolidLine) const;
    void text(double x, double y, double w, double h, Qt::Alignment align, const QString &s,
              double points = 9, bool bold = false, const QColor &colour = ink);
    double textWidth(const QString &s, double points) const;
    // A file name can be as long as the user likes; the block around it cannot.
    QString fit(const QString &s, double widthMm, double points, bool bold = false) const;

    bool newPage();
    void titleBlock();
    // Rows flow over as many pages as they need; the first part goes at y on
    // the current page, with room for firstRows.
    bool table(const QString &title, const QVector<Column> &columns, int count, int firstRows, double y,
               const std::function<QStringList(int)> &cells, const QString &none);
    bool charts();
    void chart(double top, double height, Channel c, double x0, double x1);

    const Report &m_report;
    const std::vector<ProtocolRow> &m_rows;
    double m_mpp;
    QPdfWriter &m_pdf;
    QPainter &m_p;
    double m_u;  // device units per millimetre
    double m_width = 0;
    double m_height = 0;
    QStringList m_family;
    ReportPdf::Layout m_layout;
    int m_page = 0;
};

QFont Writer::font(double points, bool bold) const
{
    QFont f;
    f.setFamilies(m_family);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QPen Writer::pen(const QColor &c, double mm, Qt::PenStyle style) const
{
    QPen p(c, mm * m_u, style);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

void Writer::text(double x, double y, double w, double h, Qt::Alignment align, const QString &s, double points,
                  bool bold, const QColor &colour)
{
    m_p.setFont(font(points, bold));
    m_p.setPen(colour);
    m_p.drawText(rect(x, y, w, h), int(align | Qt::TextSingleLine), s);
}

double Writer::textWidth(const QString &s, double points) const
{
    return QFontMetricsF(font(points), &m_pdf).horizontalAdvance(s) / m_u;
}

QString Writer::fit(const QString &s, double widthMm, double points, bool bold) const
{
    return QFontMetricsF(font(points, bold), &m_pdf).elidedText(s, Qt::ElideMiddle, widthMm * m_u);
}

bool Writer::newPage()
{
    if (m_page > 0 && !m_pdf.newPage())
        return false;
    ++m_page;
    const double y = m_height - footerMm + 2;
    m_p.setPen(pen(grid, 0.2));
    m_p.drawLine(point(0, y - 1), point(m_width, y - 1));
    text(0, y, m_width * 0.7, footerMm - 2, Qt::AlignLeft | Qt::AlignVCenter,
         fit(QStringLiteral("Tervalo · отчёт по протоколу ") + fileName(m_report.protocol), m_width * 0.7, 7), 7, false,
         faint);
    text(m_width / 2, y, m_width / 2, footerMm - 2, Qt::AlignRight | Qt::AlignVCenter,
         QStringLiteral("Стр. %1 из %2").arg(m_page).arg(m_layout.total()), 7, false, faint);
    return true;
}

void Writer::titleBlock()
{
    const Report &r = m_report;
    text(0, 0, m_width, 9, Qt::AlignLeft | Qt::AlignVCenter,
         fit(QStringLiteral("Проверка контактного рельса: отчёт по протоколу ") + fileName(r.protocol), m_width, 14,
             true),
         14, true);

    const QString none = QStringLiteral("—");
    QVector<QPair<QString, QString>> left {
        { QStringLiteral("Файл протокола"), fileName(r.protocol) },
        { QStringLiteral("Дата файла"), dateText(r.protocol.modified) },
        { QStringLiteral("Участок"), m_rows.empty() ? none
                                                      : positionText(m_rows.front()) + QStringLiteral(" … ")
                                                            + positionText(m_rows.back()) },
        { QStringLiteral("Направление"), directionText(r.protocol) },
        { QStringLiteral("Измеренная длина"),
          QStringLiteral("%1 м, разрывов: %2").arg(number(r.track.measuredLength, 2)).arg(r.track.gaps) },
        { QStringLiteral("Строк"), QString::number(m_rows.size()) },
        { QStringLiteral("Без показаний"), QStringLiteral("вертикаль %1, горизонталь %2 строк")
                                               .arg(r.missing[Vertical])
                                               .arg(r.missing[Horizontal]) },
    };
    int count[channelCount] = { 0, 0 };
    for (const Stretch &s : r.exceedances)
        ++count[s.channel];
    QVector<QPair<QString, QString>> right;
    QStringList warnings;
    for (int c = 0; c < channelCount; ++c) {
        right.append({ QStringLiteral("Допуск, ") + channelName(Channel(c)).toLower(), bandText(r.limits[c]) });
        if (r.limits[c].inverted())
            warnings << QStringLiteral("Допуск по каналу «%1»: нижний предел выше верхнего, поэтому ни одно "
                                       "показание не в допуске и каждое попадает в список.")
                            .arg(channelName(Channel(c)).toLower());
    }
    right.append({ QStringLiteral("Участков за допуском"),
                   QStringLiteral("вертикаль %1, горизонталь %2").arg(count[Vertical]).arg(count[Horizontal]) });
    if (r.compared) {
        int diff[channelCount] = { 0, 0 };
        for (const Stretch &s : r.comparison.differences)
            ++diff[s.channel];
        right.append({ QStringLiteral("Второй проезд"),
                       QStringLiteral("%1 от %2, строк %3")
                           .arg(fileName(r.other), dateText(r.other.modified))
                           .arg(r.other.rows.size()) });
        right.append({ QStringLiteral("Совмещено строк"), QString::number(r.comparison.matched) });
        right.append({ QStringLiteral("Расхождений > %1 мм").arg(limitText(r.comparison.tolerance)),
                       QStringLiteral("вертикаль %1, горизонталь %2").arg(diff[Vertical]).arg(diff[Horizontal]) });
    }
    right.append({ QStringLiteral("Отчёт составлен"), dateText(QDateTime::currentDateTime()) });

    const double lineMm = 5.0;
    const double half = m_width / 2;
    const double labelMm = 38;
    for (int i = 0; i < left.size(); ++i) {
        text(0, 12 + i * lineMm, labelMm, lineMm, Qt::AlignLeft | Qt::AlignVCenter, left[i].first, 9, false, faint);
        text(labelMm, 12 + i * lineMm, half - labelMm - 2, lineMm, Qt::AlignLeft | Qt::AlignVCenter,
             fit(left[i].second, half - labelMm - 2, 9, true), 9, true);
    }
    for (int i = 0; i < right.size(); ++i) {
        text(half, 12 + i * lineMm, labelMm, lineMm, Qt::AlignLeft | Qt::AlignVCenter, right[i].first, 9, false,
             faint);
        text(half + labelMm, 12 + i * lineMm, half - labelMm, lineMm, Qt::AlignLeft | Qt::AlignVCenter,
             fit(right[i].second, half - labelMm, 9, true), 9, true);
    }
    double noteY = 12 + std::max(left.size(), right.size()) * lineMm + 1;
    for (const QString &w : warnings) {
        text(0, noteY, m_width, 4.5, Qt::AlignLeft | Qt::AlignVCenter, w, 8.5, true, limitLine);
        noteY += 4.5;
    }
    m_p.setFont(font(7));
    m_p.setPen(faint);
    m_p.drawText(rect(0, noteY, m_width, titleBlockMm - noteY - 2), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                 QStringLiteral("Положение: пикет и расстояние от него, как в протоколе. Значение на пределе допуска "
                                "считается в допуске. Участок прерывают строка без показаний и разрыв (пропуск "
                                "больше одной строки сетки 0.25 м, смена направления, новый проезд); через отметку "
                                "пикета участок продолжается. Длина участка: от первой до последней его строки. "
                                "Пик: значение, дальше всех ушедшее за предел. Ось графиков: путь, пройденный по "
                                "строкам протокола; над графиком пикеты, под ним расстояние от пикета."));
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
        const int capacity = first ? firstRows : ReportPdf::rowsPerPage;
        text(0, y, m_width, tableTitleMm - 1, Qt::AlignLeft | Qt::AlignVCenter,
             first ? title : title + QStringLiteral(" (продолжение)"), 11, true);
        y += tableTitleMm;
        if (count == 0) {
            text(0, y, m_width, rowMm, Qt::AlignLeft | Qt::AlignVCenter, none, 9);
            return true;
        }
        double x = 0;
        m_p.fillRect(rect(0, y, m_width, tableHeaderMm), QColor(236, 236, 236));
        for (const Column &c : columns) {
            text(x + 1, y, c.width - 2, tableHeaderMm, c.align | Qt::AlignVCenter, c.title, 8, true);
            x += c.width;
        }
        y += tableHeaderMm;
        const int end = std::min(count, done + capacity);
        for (int i = done; i < end; ++i, y += rowMm) {
            if ((i - done) % 2 == 1)
                m_p.fillRect(rect(0, y, m_width, rowMm), QColor(247, 247, 247));
            const QStringList values = cells(i);
            x = 0;
            for (int k = 0; k < columns.size(); ++k) {
                text(x + 1, y, columns[k].width - 2, rowMm, columns[k].align | Qt::AlignVCenter, values.value(k), 8);
                x += columns[k].width;
            }
        }
        done = end;
        first = false;
    } while (done < count);
    return true;
}

bool Writer::run()
{
    const Report &r = m_report;
    if (!newPage())
        return false;
    titleBlock();

    const Qt::Alignment L = Qt::AlignLeft, R = Qt::AlignRight;
    const QVector<Column> stretchColumns {
        { QStringLiteral("№"), 12, R },
        { QStringLiteral("Канал"), 26, L },
        { QStringLiteral("Начало"), 36, L },
        { QStringLiteral("Конец"), 36, L },
        { QStringLiteral("Длина, м"), 20, R },
        { QString(), 24, R },  // peak or difference, titled per table
        { QStringLiteral("Положение пика"), 36, L },
        { QStringLiteral("Строк"), 16, R },
    };
    auto stretchCells = [this](const std::vector<Stretch> &stretches) {
        const std::vector<Stretch> *list = &stretches;
        return [this, list](int i) {
            const Stretch &s = (*list)[size_t(i)];
            return QStringList { QString::number(i + 1),
                                 channelName(s.channel),
                                 positionText(m_rows[size_t(s.first)]),
                                 positionText(m_rows[size_t(s.last)]),
                                 number(s.length, 2),
                                 number(s.peak, 3),
                                 positionText(m_rows[size_t(s.peakRow)]),
                                 QString::number(s.rows()) };
        };
    };

    QVector<Column> columns = stretchColumns;
    columns[5].title = QStringLiteral("Пик, мм");
    if (!table(QStringLiteral("Участки за допуском"), columns, int(r.exceedances.size()), ReportPdf::firstPageRows,
               titleBlockMm, stretchCells(r.exceedances), QStringLiteral("Все значения в допуске.")))
        return false;

    if (r.compared) {
        if (!newPage())
            return false;
        columns[5].title = QStringLiteral("Разность, мм");
        columns[6].title = QStringLiteral("Где наибольшая");
        const QString title = QStringLiteral("Расхождения с проездом %1 больше %2 мм (этот минус второй)")
                                  .arg(fileName(r.other), limitText(r.comparison.tolerance));
        if (!table(title, columns, int(r.comparison.differences.size()), ReportPdf::rowsPerPage, 0,
                   stretchCells(r.comparison.differences),
                   r.comparison.matched == 0 ? QStringLiteral("Ни одна строка не совпала по положению.")
                                             : QStringLiteral("Расхождений больше допуска нет.")))
            return false;
    }

    if (!newPage())
        return false;
    const QVector<Column> summaryColumns {
        { QStringLiteral("Пикет"), 26, L },
        { QStringLiteral("Строк"), 16, R },
        { QStringLiteral("Участков В"), 22, R },
        { QStringLiteral("Худшее В, мм"), 24, R },
        { QStringLiteral("Где"), 36, L },
        { QStringLiteral("Участков Г"), 22, R },
        { QStringLiteral("Худшее Г, мм"), 24, R },
        { QStringLiteral("Где"), 36, L },
    };
    auto summaryCells = [this](int i) {
        const PicketSummary &s = m_report.pickets[size_t(i)];
        QStringList cells { QStringLiteral("ПК %1 %2").arg(s.picket).arg(s.forward ? QLatin1Char('+') : QLatin1Char('-')),
                            QString::number(s.rows) };
        for (int c = 0; c < channelCount; ++c) {
            cells << QString::number(s.exceedances[c]);
            if (s.worstRow[c] < 0) {
                cells << QStringLiteral("нет показаний") << QString();
            } else {
                const ProtocolRow &row = m_rows[size_t(s.worstRow[c])];
                cells << number(row.value[c], 3) << positionText(row);
            }
        }
        return cells;
    };
    if (!table(QStringLiteral("Сводка по пикетам (участок через отметку пикета считается в обоих)"), summaryColumns,
               int(r.pickets.size()), ReportPdf::rowsPerPage, 0, summaryCells, QStringLiteral("В протоколе нет строк.")))
        return false;

    return charts();
}

bool Writer::charts()
{
    if (m_rows.empty())
        return true;
    const std::vector<double> &x = m_report.track.x;
    for (int k = 0; k < m_layout.chartPages; ++k) {
        if (!newPage())
            return false;
        const double x0 = k * m_mpp;
        const double x1 = x0 + m_mpp;
        const size_t a = size_t(std::lower_bound(x.begin(), x.end(), x0 - 1e-9) - x.begin());
        const size_t b = size_t(std::upper_bound(x.begin(), x.end(), x1 + 1e-9) - x.begin());
        QString range;
        if (a < b)
            range = positionText(m_rows[a]) + QStringLiteral(" … ") + positionText(m_rows[b - 1]);
        text(0, 0, m_width * 0.6, 7, Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Профиль: ") + range, 11, true);

        // Legend, right-aligned on the title line.
        struct Key { QColor colour; bool fill; QString label; };
        QVector<Key> keys { { runLine, false, QStringLiteral("проезд") },
                            { bandFill, true, QStringLiteral("допуск") },
                            { exceedFill, true, QStringLiteral("за допуском") } };
        if (m_report.compared) {
            keys.append({ otherLine, false, QStringLiteral("второй проезд") });
            keys.append({ differenceBar, true, QStringLiteral("расхождение") });
        }
        double lx = m_width;
        for (int i = keys.size() - 1; i >= 0; --i) {
            const double w = textWidth(keys[i].label, 8) + 1;
            lx -= w;
            text(lx, 0, w, 7, Qt::AlignLeft | Qt::AlignVCenter, keys[i].label, 8);
            lx -= 7;
            if (keys[i].fill) {
                m_p.fillRect(rect(lx, 2, 5, 3), keys[i].colour);
            } else {
                m_p.setPen(pen(keys[i].colour, 0.5));
                m_p.drawLine(point(lx, 3.5), point(lx + 5, 3.5));
            }
            lx -= 4;
        }

        const double top = 9;
        const double height = (m_height - footerMm - top - 5) / 2;
        chart(top, height, Vertical, x0, x1);
        chart(top + height + 3, height, Horizontal, x0, x1);
    }
    return true;
}

void Writer::chart(double top, double height, Channel c, double x0, double x1)
{
    const Report &r = m_report;
    const std::vector<double> &x = r.track.x;
    const Limits &lim = r.limits[c];
    const std::vector<int> *match = r.compared ? &r.comparison.match : nullptr;

    // Rows on the page, and one beyond each edge so lines run to the frame.
    const size_t a = size_t(std::lower_bound(x.begin(), x.end(), x0 - 1e-9) - x.begin());
    const size_t b = size_t(std::upper_bound(x.begin(), x.end(), x1 + 1e-9) - x.begin());
    const size_t from = a > 0 ? a - 1 : 0;
    const size_t to = std::min(m_rows.size(), b + 1);

    auto otherValue = [&](size_t i, double *v) {
        if (!match || (*match)[i] < 0)
            return false;
        const ProtocolRow &o = r.other.rows[size_t((*match)[i])];
        if (!o.hasValue[c])
            return false;
        *v = o.value[c];
        return true;
    };

    double lo = std::min(lim.low, lim.high), hi = std::max(lim.low, lim.high);
    for (size_t i = a; i < b; ++i) {
        double v;
        if (m_rows[i].hasValue[c]) {
            lo = std::min(lo, m_rows[i].value[c]);
            hi = std::max(hi, m_rows[i].value[c]);
        }
        if (otherValue(i, &v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (hi - lo < 2.0) {
        const double mid = (hi + lo) / 2;
        lo = mid - 1;
        hi = mid + 1;
    }
    const double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
    const double yStep = niceStep((hi - lo) / 6);
    lo = std::floor(lo / yStep) * yStep;
    hi = std::ceil(hi / yStep) * yStep;

    const double titleMm = 5, picketMm = 4, tickMm = 5, axisMm = 14;
    const QRectF plot(axisMm, top + titleMm + picketMm, m_width - axisMm, height - titleMm - picketMm - tickMm);
    auto px = [&](double xv) { return (plot.left() + (xv - x0) / (x1 - x0) * plot.width()) * m_u; };
    auto py = [&](double v) { return (plot.bottom() - (v - lo) / (hi - lo) * plot.height()) * m_u; };
    const QRectF plotDevice(plot.left() * m_u, plot.top() * m_u, plot.width() * m_u, plot.height() * m_u);

    QString title = channelName(c) + QStringLiteral(", мм; допуск ") + bandText(lim);
    if (lim.inverted())
        title += QStringLiteral(": нижний предел выше верхнего, в допуске нет ни одного значения");
    text(0, top, m_width, titleMm, Qt::AlignLeft | Qt::AlignVCenter, title, 9, true);

    m_p.save();
    m_p.setClipRect(plotDevice);
    if (!lim.inverted())
        m_p.fillRect(QRectF(QPointF(plotDevice.left(), py(lim.high)), QPointF(plotDevice.right(), py(lim.low))),
                     bandFill);

    auto overlapping = [&](const std::vector<Stretch> &list, const std::function<void(const Stretch &)> &f) {
        for (const Stretch &s : list)
            if (s.channel == c && x[size_t(s.last)] >= x0 - 1e-9 && x[size_t(s.first)] <= x1 + 1e-9)
                f(s);
    };
    // A stretch is shaded over the quarter metre each of its rows stands for,
    // so a single row still shows.
    overlapping(r.exceedances, [&](const Stretch &s) {
        m_p.fillRect(QRectF(QPointF(px(x[size_t(s.first)] - 0.125), plotDevice.top()),
                            QPointF(px(x[size_t(s.last)] + 0.125), plotDevice.bottom())),
                     exceedFill);
    });
    if (r.compared) {
        overlapping(r.comparison.differences, [&](const Stretch &s) {
            m_p.fillRect(QRectF(QPointF(px(x[size_t(s.first)] - 0.125), plotDevice.top()),
                                QPointF(px(x[size_t(s.last)] + 0.125), plotDevice.top() + 1.5 * m_u)),
                         differenceBar);
        });
    }

    // Horizontal grid and value labels.
    m_p.setPen(pen(grid, 0.15));
    for (double v = lo; v <= hi + yStep / 2; v += yStep)
        m_p.drawLine(QPointF(plotDevice.left(), py(v)), QPointF(plotDevice.right(), py(v)));
    if (lo < 0 && hi > 0) {
        m_p.setPen(pen(QColor(170, 170, 170), 0.2));
        m_p.drawLine(QPointF(plotDevice.left(), py(0)), QPointF(plotDevice.right(), py(0)));
    }

    // Distance ticks where the protocol's own distance is round, picket lines
    // where it restarts at 0.00, dashed lines at gaps.
    const int tickQuarters = std::max(1, int(std::lround(std::max(0.25, niceStep(m_mpp / 10)) * 4)));
    for (size_t i = a; i < b; ++i) {
        const ProtocolRow &row = m_rows[i];
        const double X = px(x[i]);
        if (i > 0 && !r.track.joined[i]) {
            m_p.setPen(pen(faint, 0.2, Qt::DashLine));
            m_p.drawLine(QPointF(X - 0.125 * plotDevice.width() / (x1 - x0), plotDevice.top()),
                         QPointF(X - 0.125 * plotDevice.width() / (x1 - x0), plotDevice.bottom()));
        }
        if (row.quarters == 0) {
            m_p.setPen(pen(picketLine, 0.35));
            m_p.drawLine(QPointF(X, plotDevice.top()), QPointF(X, plotDevice.bottom()));
        } else if (row.quarters % tickQuarters == 0) {
            m_p.setPen(pen(grid, 0.15));
            m_p.drawLine(QPointF(X, plotDevice.top()), QPointF(X, plotDevice.bottom()));
        }
        if (!row.hasValue[c]) {
            m_p.setPen(pen(faint, 0.25));
            m_p.drawLine(QPointF(X, plotDevice.bottom()), QPointF(X, plotDevice.bottom() - 1.2 * m_u));
        }
    }

    auto drawLine = [&](const QColor &colour, double widthMm, const std::function<bool(size_t, double *)> &value,
                        const std::function<bool(size_t)> &continues) {
        m_p.setPen(pen(colour, widthMm));
        QPolygonF line;
        auto flush = [&] {
            if (line.size() > 1)
                m_p.drawPolyline(line);
            else if (line.size() == 1)
                m_p.drawPoint(line.front());
            line.clear();
        };
        for (size_t i = from; i < to; ++i) {
            double v;
            if (!line.isEmpty() && !continues(i))
                flush();
            if (value(i, &v))
                line << QPointF(px(x[i]), py(v));
            else
                flush();
        }
        flush();
    };
    auto mainValue = [&](size_t i, double *v) {
        *v = m_rows[i].value[c];
        return m_rows[i].hasValue[c];
    };
    auto joined = [&](size_t i) { return r.track.joined[i] != 0; };
    if (r.compared) {
        drawLine(otherLine, 0.3, otherValue, [&](size_t i) {
            const int j = (*match)[i], k = (*match)[i - 1];
            return joined(i) && j >= 0 && k >= 0 && std::abs(j - k) == 1;
        });
    }
    drawLine(runLine, 0.3, mainValue, joined);
    m_p.setPen(pen(exceedLine, 0.55));
    overlapping(r.exceedances, [&](const Stretch &s) {
        QPolygonF line;
        for (int i = s.first; i <= s.last; ++i)
            line << QPointF(px(x[size_t(i)]), py(m_rows[size_t(i)].value[c]));
        if (line.size() == 1) {
            m_p.setBrush(exceedLine);
            m_p.drawEllipse(line.front(), 0.5 * m_u, 0.5 * m_u);
            m_p.setBrush(Qt::NoBrush);
        } else {
            m_p.drawPolyline(line);
        }
    });

    m_p.setPen(pen(limitLine, 0.3, Qt::DashLine));
    for (double v : { lim.low, lim.high })
        m_p.drawLine(QPointF(plotDevice.left(), py(v)), QPointF(plotDevice.right(), py(v)));
    m_p.restore();

    m_p.setPen(pen(ink, 0.25));
    m_p.setBrush(Qt::NoBrush);
    m_p.drawRect(plotDevice);

    // Labels: values at the left, picket numbers above, distances below; a
    // label that would run into the previous one is left out.
    const int decimals = yStep < 0.1 ? 2 : yStep < 1 ? 1 : 0;
    for (double v = lo; v <= hi + yStep / 2; v += yStep)
        text(0, py(v) / m_u - 2, axisMm - 1.5, 4, Qt::AlignRight | Qt::AlignVCenter, number(v, decimals), 7, false,
             faint);
    double picketRight = -1e9, tickRight = -1e9;
    for (size_t i = a; i < b; ++i) {
        const ProtocolRow &row = m_rows[i];
        const double X = px(x[i]) / m_u;
        if (row.quarters == 0) {
            const QString label = QStringLiteral("ПК %1").arg(row.picket);
            const double w = textWidth(label, 7.5) + 1;
            const double left = std::clamp(X - w / 2, plot.left(), plot.right() - w);
            if (left > picketRight) {
                text(left, plot.top() - picketMm, w, picketMm, Qt::AlignCenter, label, 7.5, true);
                picketRight = left + w + 1;
            }
        } else if (row.quarters % tickQuarters == 0) {
            const QString label = (row.forward ? QStringLiteral("+") : QStringLiteral("-"))
                                  + number(row.quarters * 0.25, tickQuarters % 4 == 0 ? 0 : 2);
            const double w = textWidth(label, 7) + 1;
            const double left = std::clamp(X - w / 2, plot.left(), plot.right() - w);
            if (left > tickRight) {
                text(left, plot.bottom() + 0.5, w, tickMm - 1, Qt::AlignCenter, label, 7, false, faint);
                tickRight = left + w + 1;
            }
        }
    }
}

} // namespace

ReportPdf::Layout ReportPdf::layout(const Report &report, double metresPerPage)
{
    Layout l;
    const int listed = int(report.exceedances.size());
    l.listPages = listed <= firstPageRows ? 1 : 1 + pagesFor(listed - firstPageRows, rowsPerPage);
    if (report.compared)
        l.differencePages = pagesFor(int(report.comparison.differences.size()), rowsPerPage);
    l.summaryPages = pagesFor(int(report.pickets.size()), rowsPerPage);
    // Page k shows [k * N, (k + 1) * N] of the travelled axis; a row on an edge
    // appears on both pages, so the line runs on from one page to the next.
    if (!report.track.x.empty())
        l.chartPages = std::max(1, int(std::ceil(report.track.x.back() / metresPerPage - 1e-9)));
    return l;
}

bool ReportPdf::write(const Report &report, double metresPerPage, QIODevice *device, QString *error)
{
    QPdfWriter pdf(device);
    pdf.setResolution(resolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                  QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter));
    pdf.setCreator(QStringLiteral("tervalo-report"));
    pdf.setTitle(QStringLiteral("Отчёт по протоколу ") + fileName(report.protocol));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        *error = QStringLiteral("cannot start the PDF");
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    Writer writer(report, metresPerPage, pdf, painter);
    const bool ok = writer.run();
    if (!painter.end() || !ok) {
        *error = QStringLiteral("cannot paint the PDF");
        return false;
    }
    return true;
}
