#include "reportpdf.h"

#include "pdfpage.h"
#include "runfile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace PdfColour;

namespace {

constexpr double tableHeaderMm = 7.5;  // two lines of a long column title
constexpr double gapMm = 4.0;         // between two tables on a page
constexpr double titleLineMm = 4.6;   // one line of the title block
constexpr double noteMm = 21.0;       // the rules under the title block
constexpr double signOffMm = 36.0;

const QColor watchFill(248, 232, 160);
const QColor immediateLine(120, 0, 0);
const QColor exceedFill(255, 206, 206);
const QColor immediateFill(255, 160, 160);
const QColor spikeFill(255, 230, 230);
const QColor otherLine(232, 128, 0);
const QColor differenceBar(140, 40, 170);
const QColor picketLine(60, 60, 60);
const QColor rampFill(218, 226, 242);
const QColor markLine(0, 118, 118);

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

QString bandText(double low, double high)
{
    return QStringLiteral("от %1 до %2 мм").arg(limitText(low), limitText(high));
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

QString channelsText(int vertical, int horizontal)
{
    return QStringLiteral("вертикаль %1, горизонталь %2").arg(vertical).arg(horizontal);
}

// A stretch shaded on the charts; one list per channel, in run order, so
// that a page finds its own by binary search.
struct Shade
{
    int first;
    int last;
    QColor fill;
    bool overlay;  // the run's line over it is drawn in red
};

// The value axis of one channel, the same on every page.
struct Scale
{
    double lo = -1;
    double hi = 1;
    double step = 1;
    int decimals = 0;
};

// Paints the report page by page, or with no painter only counts the pages,
// so that the footer can say "page N of M" before the first is drawn.
class Writer : public PdfPage
{
public:
    Writer(const Report &report, double metresPerPage, int totalPages, QPdfWriter *pdf, QPainter *painter);

    bool run();
    const ReportPdf::Layout &layout() const { return m_layout; }

private:
    double bottom() const { return m_height - footerMm - 1; }
    bool newPage();
    void titleLines(QVector<TitleLine> *left, QVector<TitleLine> *right) const;
    void titleBlock();
    // Rows flow from the current place over as many pages as they need.
    bool table(const QString &title, const QVector<Column> &columns, int count,
               const std::function<QStringList(int)> &cells, const QString &none);
    bool lists();
    bool summary();
    void signOff();

    Scale scale(Channel c) const;
    bool charts();
    // Draws the keys from y on, as many lines as they need; returns where they end.
    double legend(double y);
    // The distances from the picket are labelled under the lower chart only:
    // the two charts share the axis.
    void chart(double top, double height, Channel c, double x0, double x1, size_t a, size_t b, bool distances);

    const Report &m_report;
    const std::vector<ProtocolRow> &m_rows;
    double m_mpp;
    int m_total;
    ReportPdf::Layout m_layout;
    double m_y = 0;  // where the next table starts on the current page, mm
    std::vector<Shade> m_shades[channelCount];
    std::vector<Shade> m_differences[channelCount];
    std::vector<int> m_marks;  // placed marks by their place on the axis
    Scale m_scale[channelCount];
};

Writer::Writer(const Report &report, double metresPerPage, int totalPages, QPdfWriter *pdf, QPainter *painter)
    : PdfPage(pdf, painter)
    , m_report(report)
    , m_rows(report.protocol.rows)
    , m_mpp(metresPerPage)
    , m_total(totalPages)
{
    if (m_dry)
        return;
    for (int c = 0; c < channelCount; ++c) {
        m_scale[c] = scale(Channel(c));
        std::vector<Shade> &shades = m_shades[c];
        for (const Stretch &s : report.exceedances)
            if (s.channel == c)
                shades.push_back({ s.first, s.last, s.severity == Immediate ? immediateFill : exceedFill, true });
        for (const Stretch &s : report.spikes)
            if (s.channel == c)
                shades.push_back({ s.first, s.last, spikeFill, true });
        std::sort(shades.begin(), shades.end(), [](const Shade &a, const Shade &b) { return a.first < b.first; });
        if (report.compared)
            for (const Stretch &s : report.comparison.differences)
                if (s.channel == c)
                    m_differences[c].push_back({ s.first, s.last, differenceBar, false });
    }
    for (size_t i = 0; i < report.marks.size(); ++i)
        if (report.marks[i].placed)
            m_marks.push_back(int(i));
    std::stable_sort(m_marks.begin(), m_marks.end(),
                     [&](int a, int b) { return report.marks[size_t(a)].x < report.marks[size_t(b)].x; });
}

bool Writer::newPage()
{
    m_y = 0;
    return startPage(QStringLiteral("Tervalo · отчёт по протоколу ") + fileName(m_report.protocol), m_total);
}

void Writer::titleLines(QVector<TitleLine> *left, QVector<TitleLine> *right) const
{
    const Report &r = m_report;
    const QString none = QStringLiteral("—");
    *left = {
        { QStringLiteral("Файл протокола"), fileName(r.protocol) },
        { QStringLiteral("Кодировка"), encodingName(r.protocol.encoding) },
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
    if (r.hasRun) {
        const RunInfo &run = r.run;
        const QString line = run.line.isEmpty() ? QStringLiteral("линия не указана") : run.line;
        const QString track = run.track.isEmpty() ? QStringLiteral("путь не указан") : QStringLiteral("путь ") + run.track;
        left->append({ QStringLiteral("Линия, путь"), line + QStringLiteral(", ") + track });
        left->append({ QStringLiteral("Оператор"), run.operatorName.isEmpty() ? QStringLiteral("не указан") : run.operatorName });
        left->append({ QStringLiteral("Тележка"), run.trolley.isEmpty() ? QStringLiteral("не указана") : run.trolley });
        if (run.calibrationValidUntil.isValid()) {
            const bool expired = run.calibrationExpired();
            left->append({ QStringLiteral("Поверка до"),
                           run.calibrationValidUntil.toString(QStringLiteral("dd.MM.yyyy"))
                               + (expired ? QStringLiteral(": истекла на день проезда") : QString()),
                           expired });
        } else {
            left->append({ QStringLiteral("Поверка до"), QStringLiteral("не указана") });
        }
        QString when = dateText(run.started);
        if (run.stopped.isValid())
            when += QStringLiteral(" – ")
                    + (run.stopped.date() == run.started.date() ? run.stopped.toString(QStringLiteral("HH:mm"))
                                                                : dateText(run.stopped));
        left->append({ QStringLiteral("Запись"), when });
    }

    right->clear();
    for (int c = 0; c < channelCount; ++c)
        right->append({ QStringLiteral("Допуск, ") + channelName(Channel(c)).toLower(),
                        bandText(r.limits[c].low, r.limits[c].high) });
    if (r.usesImmediate()) {
        for (int c = 0; c < channelCount; ++c) {
            const Limits &l = r.limits[c];
            right->append({ QStringLiteral("Срочно, ") + channelName(Channel(c)).toLower(),
                            l.immediate ? QStringLiteral("за пределами ") + bandText(l.immediateLow, l.immediateHigh)
                                        : QStringLiteral("пределы не заданы") });
        }
    } else {
        right->append({ QStringLiteral("Срочно"), QStringLiteral("пределы не заданы, класс не используется") });
    }
    const double watch = std::max(r.limits[Vertical].watch, r.limits[Horizontal].watch);
    right->append({ QStringLiteral("Наблюдение"),
                    watch > 0 ? QStringLiteral("в допуске, но ближе %1 мм к пределу").arg(limitText(watch))
                              : QStringLiteral("не используется") });
    right->append({ QStringLiteral("Правило выбросов"),
                    r.minRows <= 1 ? QStringLiteral("считается каждая строка за допуском")
                                   : QStringLiteral("участок считается от %1 строк подряд за допуском").arg(r.minRows) });
    QString counted = channelsText(r.count(Vertical, Out) + r.count(Vertical, Immediate),
                                   r.count(Horizontal, Out) + r.count(Horizontal, Immediate));
    if (r.usesImmediate())
        counted += QStringLiteral("; из них срочно %1 и %2")
                       .arg(r.count(Vertical, Immediate))
                       .arg(r.count(Horizontal, Immediate));
    right->append({ QStringLiteral("Участков за допуском"), counted,
                    r.count(Vertical, Immediate) + r.count(Horizontal, Immediate) > 0 });
    right->append({ QStringLiteral("Длина за допуском"),
                    QStringLiteral("вертикаль %1 м, горизонталь %2 м")
                        .arg(number(r.lengthOut[Vertical], 2), number(r.lengthOut[Horizontal], 2)) });
    if (watch > 0) {
        int watched[channelCount] = { 0, 0 };
        for (const Stretch &s : r.watched)
            ++watched[s.channel];
        right->append({ QStringLiteral("Участков наблюдения"), channelsText(watched[Vertical], watched[Horizontal]) });
    }
    right->append({ QStringLiteral("Одиночных выбросов"), QString::number(r.spikes.size()) });
    if (r.hasRun) {
        right->append({ QStringLiteral("Файл прогона"), QFileInfo(r.runPath).fileName() });
        if (r.checksumMatches())
            right->append({ QStringLiteral("Контрольная сумма"), QStringLiteral("совпадает с файлом прогона") });
        else if (r.run.sha256.isEmpty())
            right->append({ QStringLiteral("Контрольная сумма"), QStringLiteral("в файле прогона её нет"), true });
        else
            right->append({ QStringLiteral("Контрольная сумма"),
                            QStringLiteral("НЕ совпадает: протокол изменён после записи"), true });
        right->append({ QStringLiteral("В зоне отвода"),
                        QStringLiteral("участков %1 в %2 отводах, в счёт не идут").arg(r.inRamp.size()).arg(r.ramps.size()) });
        const auto unplaced = std::count_if(r.marks.begin(), r.marks.end(), [](const PlacedMark &m) { return !m.placed; });
        right->append({ QStringLiteral("Отметок"),
                        unplaced ? QStringLiteral("%1, из них вне протокола %2").arg(r.marks.size()).arg(unplaced)
                                 : QString::number(r.marks.size()) });
    } else if (!r.runProblem.isEmpty()) {
        right->append({ QStringLiteral("Файл прогона"), QStringLiteral("не прочитан: ") + r.runProblem, true });
    }
    if (r.compared) {
        int diff[channelCount] = { 0, 0 };
        for (const Stretch &s : r.comparison.differences)
            ++diff[s.channel];
        right->append({ QStringLiteral("Второй проезд"),
                        QStringLiteral("%1 от %2, строк %3")
                            .arg(fileName(r.other), dateText(r.other.modified))
                            .arg(r.other.rows.size()) });
        right->append({ QStringLiteral("Совмещено строк"), QString::number(r.comparison.matched) });
        right->append({ QStringLiteral("Расхождений > %1 мм").arg(limitText(r.comparison.tolerance)),
                        channelsText(diff[Vertical], diff[Horizontal]) });
    }
    right->append({ QStringLiteral("Отчёт составлен"), dateText(QDateTime::currentDateTime()) });
}

void Writer::titleBlock()
{
    QVector<TitleLine> left, right;
    titleLines(&left, &right);
    const int lines = std::max(left.size(), right.size());
    const double top = 12;
    const double shaY = top + lines * titleLineMm + 0.5;
    const double noteY = shaY + titleLineMm + 0.5;
    m_y = noteY + noteMm;
    if (m_dry)
        return;

    const Report &r = m_report;
    heading(QStringLiteral("Проверка контактного рельса: отчёт по протоколу ") + fileName(r.protocol));
    const double half = m_width / 2;
    titleColumn(left, 0, top, titleLineMm, half - 2);
    titleColumn(right, half, top, titleLineMm, half);
    text(0, shaY, labelMm, titleLineMm, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("SHA-256 протокола"), 9,
         false, faint);
    text(labelMm, shaY, m_width - labelMm, titleLineMm, Qt::AlignLeft | Qt::AlignVCenter,
         QString::fromLatin1(r.protocol.sha256), 8.5);

    note(noteY, noteMm - 1,
         QStringLiteral(
             "Положение: пикет и расстояние от него, как в протоколе. Классы: «наблюдение» — в допуске, но близко к "
             "пределу; «за допуском» — за пределом допуска; «срочно» — за вторым, более широким пределом. Значение "
             "точно на границе относится к более мягкому классу. Участок считается, когда за допуском не меньше "
             "заданного числа строк подряд; более короткие — одиночные выбросы, они перечислены отдельно и в счёт не "
             "идут; класс «срочно» требует столько же строк подряд за его пределом. Участок прерывают строка без "
             "показаний и разрыв (пропуск больше одной строки сетки 0.25 м, смена направления, новый проезд); через "
             "отметку пикета участок продолжается. Длина: путь под участком, 0.25 м на строку. «На границе "
             "проезда»: участок касается первой или последней строки проезда или разрыва и может продолжаться за "
             "ним. Пик: значение, дальше всех ушедшее за предел; превышение: насколько пик за пределом допуска. "
             "Графики: путь, пройденный по строкам протокола, все страницы в одном масштабе; над графиком пикеты, "
             "под ним расстояние от пикета."));
}

bool Writer::table(const QString &title, const QVector<Column> &columns, int count,
                   const std::function<QStringList(int)> &cells, const QString &none)
{
    int done = 0;
    bool first = true;
    for (;;) {
        const double need = tableTitleMm + (count == 0 ? rowMm : tableHeaderMm + rowMm);
        if (m_y + need > bottom() && !newPage())
            return false;
        tableTitle(m_y, title, !first);
        m_y += tableTitleMm;
        if (count == 0) {
            text(0, m_y, m_width, rowMm, Qt::AlignLeft | Qt::AlignVCenter, none, 9);
            m_y += rowMm + gapMm;
            return true;
        }
        tableHeader(columns, m_y, tableHeaderMm);
        m_y += tableHeaderMm;
        const int capacity = std::max(1, int(std::floor((bottom() - m_y) / rowMm + 1e-9)));
        const int end = std::min(count, done + capacity);
        if (!m_dry) {
            for (int i = done; i < end; ++i)
                tableRow(columns, cells(i), m_y + (i - done) * rowMm, (i - done) % 2 == 1);
        }
        m_y += (end - done) * rowMm;
        done = end;
        if (done >= count)
            break;
        first = false;
        if (!newPage())
            return false;
    }
    m_y += gapMm;
    return true;
}

bool Writer::lists()
{
    const Report &r = m_report;
    const Qt::Alignment L = Qt::AlignLeft, R = Qt::AlignRight;
    auto note = [](const Stretch &s) { return s.atEdge ? QStringLiteral("на границе проезда") : QString(); };

    const QVector<Column> listColumns {
        { QStringLiteral("№"), 11, R },
        { QStringLiteral("Класс"), 22, L },
        { QStringLiteral("Канал"), 23, L },
        { QStringLiteral("Начало"), 30, L },
        { QStringLiteral("Конец"), 30, L },
        { QStringLiteral("Длина, м"), 17, R },
        { QStringLiteral("Пик, мм"), 17, R },
        { QStringLiteral("Превышение, мм"), 28, R },
        { QStringLiteral("Положение пика"), 30, L },
        { QStringLiteral("Строк"), 13, R },
        { QStringLiteral("Примечание"), 52, L, true },
    };
    auto listCells = [&](const std::vector<Stretch> &list) {
        return [&, list = &list](int i) {
            const Stretch &s = (*list)[size_t(i)];
            return QStringList { QString::number(i + 1), severityName(s.severity), channelName(s.channel),
                                 positionText(m_rows[size_t(s.first)]), positionText(m_rows[size_t(s.last)]),
                                 number(s.length, 2), number(s.peak, 3), number(s.excess, 3),
                                 positionText(m_rows[size_t(s.peakRow)]), QString::number(s.rows()), note(s) };
        };
    };
    const QString listTitle = r.usesImmediate() && !r.exceedances.empty()
                                  ? QStringLiteral("Участки за допуском: сначала «срочно», затем «за допуском»")
                                  : QStringLiteral("Участки за допуском");
    if (!table(listTitle, listColumns, int(r.exceedances.size()), listCells(r.exceedances),
               m_rows.empty() ? QStringLiteral("В протоколе нет строк.") : QStringLiteral("Участков за допуском нет.")))
        return false;
    if (!r.ramps.empty()
        && !table(QStringLiteral("В зоне отвода: за допуском целиком между началом и концом отвода, в счёт не идут"),
                  listColumns, int(r.inRamp.size()), listCells(r.inRamp),
                  QStringLiteral("В зонах отвода участков за допуском нет.")))
        return false;

    // Spikes are many and short: four to a row.
    if (!r.spikes.empty()) {
        constexpr int perRow = 4;
        QVector<Column> spikeColumns;
        for (int k = 0; k < perRow; ++k)
            spikeColumns.append({ QStringLiteral("Канал, положение: значение, мм"), m_width / perRow, L });
        const int rows = int((r.spikes.size() + perRow - 1) / perRow);
        if (!table(QStringLiteral("Одиночные выбросы, короче %1 строк подряд, в счёт не идут: %2")
                       .arg(r.minRows)
                       .arg(r.spikes.size()),
                   spikeColumns, rows,
                   [&](int i) {
                       QStringList cells;
                       for (size_t k = size_t(i) * perRow; k < std::min(r.spikes.size(), size_t(i + 1) * perRow); ++k) {
                           const Stretch &s = r.spikes[k];
                           cells << QStringLiteral("%1 %2: %3")
                                        .arg(channelName(s.channel), positionText(m_rows[size_t(s.peakRow)]),
                                             number(s.peak, 3));
                       }
                       return cells;
                   },
                   QString()))
            return false;
    }

    if (r.usesWatch()) {
        const QVector<Column> watchColumns {
            { QStringLiteral("№"), 11, R },
            { QStringLiteral("Канал"), 23, L },
            { QStringLiteral("Начало"), 30, L },
            { QStringLiteral("Конец"), 30, L },
            { QStringLiteral("Длина, м"), 17, R },
            { QStringLiteral("Ближе всего, мм"), 24, R },
            { QStringLiteral("До предела, мм"), 24, R },
            { QStringLiteral("Где"), 30, L },
            { QStringLiteral("Строк"), 13, R },
            { QStringLiteral("Примечание"), 71, L, true },
        };
        if (!table(QStringLiteral("Наблюдение: в допуске, но близко к пределу"), watchColumns,
                   int(r.watched.size()),
                   [&](int i) {
                       const Stretch &s = r.watched[size_t(i)];
                       return QStringList { QString::number(i + 1), channelName(s.channel),
                                            positionText(m_rows[size_t(s.first)]),
                                            positionText(m_rows[size_t(s.last)]), number(s.length, 2),
                                            number(s.peak, 3), number(-s.excess, 3),
                                            positionText(m_rows[size_t(s.peakRow)]), QString::number(s.rows()),
                                            note(s) };
                   },
                   QStringLiteral("Участков наблюдения нет.")))
            return false;
    }

    if (r.hasRun) {
        const QVector<Column> markColumns {
            { QStringLiteral("№"), 11, R },
            { QStringLiteral("Вид"), 32, L },
            { QStringLiteral("Положение"), 34, L },
            { QStringLiteral("Время"), 34, L },
            { QStringLiteral("Примечание"), m_width - 111, L, true },
        };
        if (!table(QStringLiteral("Отметки проезда (на графиках по номеру)"), markColumns, int(r.marks.size()),
                   [&](int i) {
                       const PlacedMark &m = r.marks[size_t(i)];
                       QString note = m.mark.note;
                       if (!m.placed)
                           note = (note.isEmpty() ? QString() : note + QStringLiteral("; "))
                                  + QStringLiteral("в протоколе нет строк этого пикета");
                       return QStringList { QString::number(i + 1), RunFile::markKindText(m.mark.kind),
                                            positionText(m.mark.picket, m.mark.forward, m.mark.distance),
                                            m.mark.time.isValid()
                                                ? m.mark.time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                                : QStringLiteral("—"),
                                            note };
                   },
                   QStringLiteral("Отметок нет.")))
            return false;
    }

    if (r.compared) {
        const QVector<Column> differenceColumns {
            { QStringLiteral("№"), 11, R },
            { QStringLiteral("Канал"), 23, L },
            { QStringLiteral("Начало"), 30, L },
            { QStringLiteral("Конец"), 30, L },
            { QStringLiteral("Длина, м"), 17, R },
            { QStringLiteral("Разность, мм"), 24, R },
            { QStringLiteral("Где наибольшая"), 30, L },
            { QStringLiteral("Строк"), 13, R },
        };
        if (!table(QStringLiteral("Расхождения с проездом %1 больше %2 мм (этот минус второй)")
                       .arg(fileName(r.other), limitText(r.comparison.tolerance)),
                   differenceColumns, int(r.comparison.differences.size()),
                   [&](int i) {
                       const Stretch &s = r.comparison.differences[size_t(i)];
                       return QStringList { QString::number(i + 1), channelName(s.channel),
                                            positionText(m_rows[size_t(s.first)]),
                                            positionText(m_rows[size_t(s.last)]), number(s.length, 2),
                                            number(s.peak, 3), positionText(m_rows[size_t(s.peakRow)]),
                                            QString::number(s.rows()) };
                   },
                   r.comparison.matched == 0 ? QStringLiteral("Ни одна строка не совпала по положению.")
                                             : QStringLiteral("Расхождений больше допуска нет.")))
            return false;
    }
    return true;
}

bool Writer::summary()
{
    const Report &r = m_report;
    const Qt::Alignment L = Qt::AlignLeft, R = Qt::AlignRight;
    const bool immediate = r.usesImmediate();
    const bool watch = r.usesWatch();
    QVector<Column> columns { { QStringLiteral("Пикет"), 22, L }, { QStringLiteral("Строк"), 13, R } };
    const QString letter[channelCount] = { QStringLiteral("В"), QStringLiteral("Г") };
    for (int c = 0; c < channelCount; ++c) {
        if (immediate)
            columns.append({ QStringLiteral("Срочно ") + letter[c], 14, R });
        columns.append({ QStringLiteral("За допуском ") + letter[c], 18, R });
        if (watch)
            columns.append({ QStringLiteral("Наблюдение ") + letter[c], 21, R });
        columns.append({ QStringLiteral("За допуском ") + letter[c] + QStringLiteral(", м"), 20, R });
        columns.append({ QStringLiteral("Худшее ") + letter[c] + QStringLiteral(", мм"), 18, R });
        columns.append({ QStringLiteral("Где ") + letter[c], 26, L });
    }
    auto cells = [&](int i) {
        const PicketSummary &s = r.pickets[size_t(i)];
        QString picket = QStringLiteral("ПК %1").arg(s.picket);
        if (r.bothDirections)
            picket += s.forward ? QStringLiteral(" прям.") : QStringLiteral(" обр.");
        QStringList cells { picket, QString::number(s.rows) };
        for (int c = 0; c < channelCount; ++c) {
            if (immediate)
                cells << QString::number(s.stretches[c][Immediate]);
            cells << QString::number(s.stretches[c][Out]);
            if (watch)
                cells << QString::number(s.stretches[c][Watch]);
            cells << number(s.lengthOut[c], 2);
            if (s.worstRow[c] < 0) {
                cells << QStringLiteral("нет показаний") << QString();
            } else {
                const ProtocolRow &row = m_rows[size_t(s.worstRow[c])];
                cells << number(row.value[c], 3) << positionText(row);
            }
        }
        return cells;
    };
    return table(r.ramps.empty()
                     ? QStringLiteral("Сводка по пикетам (участок через отметку пикета считается в обоих)")
                     : QStringLiteral("Сводка по пикетам (участок через отметку пикета считается в обоих; худшее "
                                      "значение вне зон отвода)"),
                 columns, int(r.pickets.size()), cells, QStringLiteral("В протоколе нет строк."));
}

void Writer::signOff()
{
    if (m_y + signOffMm > bottom())
        newPage();
    double y = m_y + 6;
    m_y += signOffMm;
    if (m_dry)
        return;
    struct Field { double x, w; QString caption; };
    const Field fields[] = { { 30, 90, QStringLiteral("должность, фамилия, инициалы") },
                             { 128, 50, QStringLiteral("подпись") },
                             { 186, 50, QStringLiteral("дата") } };
    for (const QString &who : { QStringLiteral("Составил"), QStringLiteral("Проверил") }) {
        text(0, y, 28, 7, Qt::AlignLeft | Qt::AlignBottom, who, 10, true);
        for (const Field &f : fields) {
            m_p->setPen(pen(ink, 0.25));
            m_p->drawLine(point(f.x, y + 7), point(f.x + f.w, y + 7));
            text(f.x, y + 7.5, f.w, 3.5, Qt::AlignHCenter | Qt::AlignTop, f.caption, 6.5, false, faint);
        }
        y += 15;
    }
}

Scale Writer::scale(Channel c) const
{
    // One scale for the whole run, limits included, so that pages compare at a glance.
    const Report &r = m_report;
    const Limits &lim = r.limits[c];
    double lo = std::min(lim.low, lim.high), hi = std::max(lim.low, lim.high);
    if (lim.immediate) {
        lo = std::min(lo, lim.immediateLow);
        hi = std::max(hi, lim.immediateHigh);
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].hasValue[c]) {
            lo = std::min(lo, m_rows[i].value[c]);
            hi = std::max(hi, m_rows[i].value[c]);
        }
        const int j = r.compared ? r.comparison.match[i] : -1;
        if (j >= 0 && r.other.rows[size_t(j)].hasValue[c]) {
            lo = std::min(lo, r.other.rows[size_t(j)].value[c]);
            hi = std::max(hi, r.other.rows[size_t(j)].value[c]);
        }
    }
    if (hi - lo < 2.0) {
        const double mid = (hi + lo) / 2;
        lo = mid - 1;
        hi = mid + 1;
    }
    const double pad = (hi - lo) * 0.08;
    Scale s;
    s.step = niceStep((hi - lo + 2 * pad) / 6);
    s.lo = std::floor((lo - pad) / s.step) * s.step;
    s.hi = std::ceil((hi + pad) / s.step) * s.step;
    s.decimals = s.step < 0.1 ? 2 : s.step < 1 ? 1 : 0;
    return s;
}

bool Writer::charts()
{
    const std::vector<double> &x = m_report.track.x;
    for (int k = 0; k < m_layout.chartPages; ++k) {
        if (!newPage())
            return false;
        if (m_dry)
            continue;
        const double x0 = k * m_mpp;
        const double x1 = x0 + m_mpp;
        const size_t a = size_t(std::lower_bound(x.begin(), x.end(), x0 - 1e-9) - x.begin());
        const size_t b = size_t(std::upper_bound(x.begin(), x.end(), x1 + 1e-9) - x.begin());
        QString range;
        if (a < b)
            range = positionText(m_rows[a]) + QStringLiteral(" … ") + positionText(m_rows[b - 1]);
        text(0, 0, m_width, 7, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Профиль: ") + range, 11, true);
        const double top = legend(7);
        const double height = (m_height - footerMm - top - 4) / 2;
        chart(top, height, Vertical, x0, x1, a, b, false);
        chart(top + height + 2, height, Horizontal, x0, x1, a, b, true);
    }
    return true;
}

double Writer::legend(double y)
{
    enum Kind { Line, Fill, Tick, Mark };
    struct Key { Kind kind; QColor colour; QString label; };
    QVector<Key> keys { { Line, runLine, QStringLiteral("проезд") }, { Fill, bandFill, QStringLiteral("допуск") } };
    if (m_report.usesWatch())
        keys.append({ Fill, watchFill, QStringLiteral("полоса наблюдения") });
    keys.append({ Fill, exceedFill, QStringLiteral("за допуском") });
    if (m_report.usesImmediate())
        keys.append({ Fill, immediateFill, QStringLiteral("срочно") });
    keys.append({ Fill, spikeFill, QStringLiteral("одиночный выброс") });
    keys.append({ Tick, faint, QStringLiteral("нет показаний") });
    if (!m_report.ramps.empty())
        keys.append({ Fill, rampFill, QStringLiteral("зона отвода") });
    if (!m_marks.empty())
        keys.append({ Mark, markLine, QStringLiteral("отметка, её номер") });
    if (m_report.compared) {
        keys.append({ Line, otherLine, QStringLiteral("второй проезд") });
        keys.append({ Fill, differenceBar, QStringLiteral("расхождение") });
    }
    double lx = 0;
    QVector<Cell> labels;
    for (const Key &key : keys) {
        const double w = textWidth(key.label, 7.5) + 1;
        if (lx > 0 && lx + 6.5 + w > m_width) {
            lx = 0;
            y += 5;
        }
        switch (key.kind) {
        case Fill:
            m_p->fillRect(rect(lx, y + 1.5, 5, 3), key.colour);
            break;
        case Line:
            m_p->setPen(pen(key.colour, 0.5));
            m_p->drawLine(point(lx, y + 3), point(lx + 5, y + 3));
            break;
        case Mark:
            m_p->setPen(pen(key.colour, 0.3, Qt::DashLine));
            m_p->drawLine(point(lx + 2.5, y + 1), point(lx + 2.5, y + 5));
            break;
        case Tick:
            m_p->setPen(pen(key.colour, 0.25));
            m_p->drawLine(point(lx + 2.5, y + 4.5), point(lx + 2.5, y + 3.3));
            m_p->setPen(pen(grid, 0.2));
            m_p->drawLine(point(lx, y + 4.5), point(lx + 5, y + 4.5));
            break;
        }
        labels.append({ QRectF(lx + 6.5, y, w, 6), Qt::AlignLeft | Qt::AlignVCenter, key.label });
        lx += 6.5 + w + 4;
    }
    texts(labels, 7.5);
    return y + 6;
}

void Writer::chart(double top, double height, Channel c, double x0, double x1, size_t a, size_t b,
                   bool distances)
{
    const Report &r = m_report;
    const std::vector<double> &x = r.track.x;
    const Limits &lim = r.limits[c];
    const std::vector<int> *match = r.compared ? &r.comparison.match : nullptr;
    const Scale &sc = m_scale[c];
    const double lo = sc.lo, hi = sc.hi;

    // Rows on the page, and one beyond each edge so lines run to the frame.
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

    const double titleMm = 5, picketMm = 4, tickMm = 5, axisMm = 14;
    const QRectF plot(axisMm, top + titleMm + picketMm, m_width - axisMm, height - titleMm - picketMm - tickMm);
    // Whole device units: the PDF then holds short integers for every point,
    // a twentieth of a millimetre apart, and comes out smaller and faster.
    auto px = [&](double xv) { return std::round((plot.left() + (xv - x0) / (x1 - x0) * plot.width()) * m_u); };
    auto py = [&](double v) { return std::round((plot.bottom() - (v - lo) / (hi - lo) * plot.height()) * m_u); };
    const QRectF plotDevice(plot.left() * m_u, plot.top() * m_u, plot.width() * m_u, plot.height() * m_u);
    const double quarter = 0.125 * plotDevice.width() / (x1 - x0);

    QString title = channelName(c) + QStringLiteral(", мм; допуск ") + bandText(lim.low, lim.high);
    if (lim.immediate)
        title += QStringLiteral("; срочно за ") + bandText(lim.immediateLow, lim.immediateHigh);
    text(0, top, m_width, titleMm, Qt::AlignLeft | Qt::AlignVCenter, title, 9, true);

    m_p->save();
    m_p->setClipRect(plotDevice);
    m_p->fillRect(QRectF(QPointF(plotDevice.left(), py(lim.high)), QPointF(plotDevice.right(), py(lim.low))),
                  bandFill);
    if (lim.watch > 0) {
        const double inner = std::min(lim.watch, (lim.high - lim.low) / 2);
        m_p->fillRect(QRectF(QPointF(plotDevice.left(), py(lim.high)), QPointF(plotDevice.right(), py(lim.high - inner))),
                      watchFill);
        m_p->fillRect(QRectF(QPointF(plotDevice.left(), py(lim.low + inner)), QPointF(plotDevice.right(), py(lim.low))),
                      watchFill);
    }

    for (const RampZone &z : r.ramps) {
        if (z.to < x0 || z.from > x1)
            continue;
        const double left = std::max(plotDevice.left(), px(z.from));
        const double right = std::min(plotDevice.right(), px(z.to));
        m_p->fillRect(QRectF(QPointF(left, plotDevice.top()), QPointF(std::max(left + 1, right), plotDevice.bottom())),
                      rampFill);
    }

    // The stretches on this page only, found by binary search: a stretch as
    // long as the run costs each page its own rows, not the whole stretch.
    auto onPage = [&](const std::vector<Shade> &shades, const std::function<void(const Shade &)> &f) {
        auto it = std::lower_bound(shades.begin(), shades.end(), from,
                                   [](const Shade &s, size_t row) { return size_t(s.last) < row; });
        for (; it != shades.end() && size_t(it->first) < to; ++it)
            f(*it);
    };
    // A stretch is shaded over the quarter metre each of its rows stands for,
    // so a single row still shows.
    onPage(m_shades[c], [&](const Shade &s) {
        const double left = std::max(plotDevice.left(), px(x[size_t(s.first)]) - quarter);
        const double right = std::min(plotDevice.right(), px(x[size_t(s.last)]) + quarter);
        if (right > left)
            m_p->fillRect(QRectF(QPointF(left, plotDevice.top()), QPointF(right, plotDevice.bottom())), s.fill);
    });
    onPage(m_differences[c], [&](const Shade &s) {
        const double left = std::max(plotDevice.left(), px(x[size_t(s.first)]) - quarter);
        const double right = std::min(plotDevice.right(), px(x[size_t(s.last)]) + quarter);
        if (right > left)
            m_p->fillRect(QRectF(QPointF(left, plotDevice.top()), QPointF(right, plotDevice.top() + 1.5 * m_u)), s.fill);
    });

    // Grid, distance ticks where the protocol's own distance is round, picket
    // lines where it restarts at 0.00, dashed lines at gaps, short ticks where
    // the sensor gave nothing: each kind drawn in one go.
    QVector<QLineF> gridLines, picketLines, gapLines, missing;
    for (double v = lo; v <= hi + sc.step / 2; v += sc.step)
        gridLines.append(QLineF(plotDevice.left(), py(v), plotDevice.right(), py(v)));
    const int tickQuarters = std::max(1, int(std::lround(std::max(0.25, niceStep(m_mpp / 10)) * 4)));
    for (size_t i = a; i < b; ++i) {
        const ProtocolRow &row = m_rows[i];
        const double X = px(x[i]);
        if (i > 0 && !r.track.joined[i])
            gapLines.append(QLineF(X - quarter, plotDevice.top(), X - quarter, plotDevice.bottom()));
        if (row.quarters == 0)
            picketLines.append(QLineF(X, plotDevice.top(), X, plotDevice.bottom()));
        else if (row.quarters % tickQuarters == 0)
            gridLines.append(QLineF(X, plotDevice.top(), X, plotDevice.bottom()));
        if (!row.hasValue[c])
            missing.append(QLineF(X, plotDevice.bottom(), X, std::round(plotDevice.bottom() - 1.2 * m_u)));
    }
    m_p->setPen(pen(grid, 0.15));
    m_p->drawLines(gridLines);
    if (lo < 0 && hi > 0) {
        m_p->setPen(pen(QColor(170, 170, 170), 0.2));
        m_p->drawLine(QPointF(plotDevice.left(), py(0)), QPointF(plotDevice.right(), py(0)));
    }
    m_p->setPen(pen(faint, 0.2, Qt::DashLine));
    m_p->drawLines(gapLines);
    m_p->setPen(pen(picketLine, 0.35));
    m_p->drawLines(picketLines);
    m_p->setPen(pen(faint, 0.25));
    m_p->drawLines(missing);

    auto drawLine = [&](const QColor &colour, double widthMm, const std::function<bool(size_t, double *)> &value,
                        const std::function<bool(size_t)> &continues, size_t begin, size_t end) {
        m_p->setPen(pen(colour, widthMm));
        QPolygonF line;
        auto flush = [&] {
            if (line.size() > 1) {
                m_p->drawPolyline(line);
            } else if (line.size() == 1) {
                m_p->setBrush(colour);
                m_p->drawEllipse(line.front(), 0.5 * m_u, 0.5 * m_u);
                m_p->setBrush(Qt::NoBrush);
            }
            line.clear();
        };
        for (size_t i = begin; i < end; ++i) {
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
        }, from, to);
    }
    drawLine(runLine, 0.3, mainValue, joined, from, to);
    onPage(m_shades[c], [&](const Shade &s) {
        if (s.overlay)
            drawLine(exceedLine, 0.55, mainValue, [&](size_t i) { return i > size_t(s.first); },
                     std::max(size_t(s.first), from), std::min(size_t(s.last) + 1, to));
    });

    m_p->setPen(pen(limitLine, 0.3, Qt::DashLine));
    for (double v : { lim.low, lim.high })
        m_p->drawLine(QPointF(plotDevice.left(), py(v)), QPointF(plotDevice.right(), py(v)));
    if (lim.immediate) {
        m_p->setPen(pen(immediateLine, 0.4, Qt::DashDotLine));
        for (double v : { lim.immediateLow, lim.immediateHigh })
            m_p->drawLine(QPointF(plotDevice.left(), py(v)), QPointF(plotDevice.right(), py(v)));
    }

    // Marks as dashed lines; over the upper chart their numbers and kinds,
    // or the number alone where the next mark stands too close.
    const auto markFrom = std::lower_bound(m_marks.begin(), m_marks.end(), x0 - 1e-9,
                                           [&](int m, double v) { return r.marks[size_t(m)].x < v; });
    double labelRight = -1e9;
    for (auto it = markFrom; it != m_marks.end() && r.marks[size_t(*it)].x <= x1 + 1e-9; ++it) {
        const PlacedMark &m = r.marks[size_t(*it)];
        const double X = px(m.x);
        m_p->setPen(pen(markLine, 0.3, Qt::DashLine));
        m_p->drawLine(QPointF(X, plotDevice.top()), QPointF(X, plotDevice.bottom()));
        if (distances)
            continue;
        const QString number = QString::number(*it + 1);
        const QString full = number + QLatin1Char(' ') + RunFile::markKindText(m.mark.kind);
        const double left = X / m_u + 0.6;
        const auto next = std::next(it);
        const double room = next == m_marks.end() || r.marks[size_t(*next)].x > x1
                                ? plot.right() - left
                                : px(r.marks[size_t(*next)].x) / m_u - left;
        const QString label = textWidth(full, 6.5) + 1 < room ? full : number;
        if (left > labelRight) {
            text(left, plot.top() + 0.3, textWidth(label, 6.5) + 1, 3.2, Qt::AlignLeft | Qt::AlignVCenter, label, 6.5,
                 false, markLine);
            labelRight = left + textWidth(label, 6.5) + 0.5;
        }
    }
    m_p->restore();

    m_p->setPen(pen(ink, 0.25));
    m_p->setBrush(Qt::NoBrush);
    m_p->drawRect(plotDevice);

    // Labels: values at the left, picket numbers above, distances below; a
    // label that would run into the previous one is left out.
    QVector<Cell> values, distanceLabels;
    for (double v = lo; v <= hi + sc.step / 2; v += sc.step)
        values.append({ QRectF(0, py(v) / m_u - 2, axisMm - 1.5, 4), Qt::AlignRight | Qt::AlignVCenter,
                        number(v, sc.decimals) });
    texts(values, 7, false, faint);
    double picketRight = -1e9, tickRight = -1e9;
    for (size_t i = a; i < b; ++i) {
        const ProtocolRow &row = m_rows[i];
        if (row.quarters != 0 && row.quarters % tickQuarters != 0)
            continue;
        const double X = px(x[i]) / m_u;
        if (row.quarters == 0) {
            const QString label = QStringLiteral("ПК %1").arg(row.picket);
            const double w = textWidth(label, 7.5, true) + 1;
            const double left = std::clamp(X - w / 2, plot.left(), plot.right() - w);
            if (left > picketRight) {
                text(left, plot.top() - picketMm, w, picketMm, Qt::AlignCenter, label, 7.5, true);
                picketRight = left + w + 1;
            }
        } else if (distances) {
            const QString label = (row.forward ? QStringLiteral("+") : QStringLiteral("-"))
                                  + number(row.quarters * 0.25, tickQuarters % 4 == 0 ? 0 : 2);
            const double w = textWidth(label, 7) + 1;
            const double left = std::clamp(X - w / 2, plot.left(), plot.right() - w);
            if (left > tickRight) {
                distanceLabels.append({ QRectF(left, plot.bottom() + 0.5, w, tickMm - 1), Qt::AlignCenter, label });
                tickRight = left + w + 1;
            }
        }
    }
    texts(distanceLabels, 7, false, faint);
}

bool Writer::run()
{
    if (!newPage())
        return false;
    titleBlock();
    if (!lists())
        return false;
    m_layout.tablePages = m_page;

    // Page k shows [k * N, (k + 1) * N] of the travelled axis; a row on an edge
    // appears on both pages, so the line runs on from one page to the next.
    const std::vector<double> &x = m_report.track.x;
    m_layout.chartPages = x.empty() ? 0 : std::max(1, int(std::ceil(x.back() / m_mpp - 1e-9)));
    if (!charts())
        return false;

    const int before = m_page;
    if (!newPage() || !summary())
        return false;
    signOff();
    m_layout.summaryPages = m_page - before;
    return true;
}

} // namespace

ReportPdf::Layout ReportPdf::layout(const Report &report, double metresPerPage)
{
    Writer counter(report, metresPerPage, 0, nullptr, nullptr);
    counter.run();
    return counter.layout();
}

bool ReportPdf::write(const Report &report, double metresPerPage, QIODevice *device, QString *error)
{
    const int pages = layout(report, metresPerPage).total();
    return PdfPage::write(device, QStringLiteral("tervalo-report"),
                          QStringLiteral("Отчёт по протоколу ") + fileName(report.protocol),
                          [&](QPdfWriter *pdf, QPainter *painter) {
                              return Writer(report, metresPerPage, pages, pdf, painter).run();
                          },
                          error);
}
