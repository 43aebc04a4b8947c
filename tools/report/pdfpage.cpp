#include "pdfpage.h"

#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>

using namespace PdfColour;

namespace {

int fontKey(double points, bool bold)
{
    return int(std::lround(points * 20)) * 2 + (bold ? 1 : 0);
}

} // namespace

bool PdfPage::write(QIODevice *device, const QString &creator, const QString &title,
                    const std::function<bool(QPdfWriter *, QPainter *)> &draw, QString *error)
{
    QPdfWriter pdf(device);
    pdf.setResolution(resolution);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                  QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter));
    pdf.setCreator(creator);
    pdf.setTitle(title);
    QPainter painter;
    if (!painter.begin(&pdf)) {
        *error = QStringLiteral("PDF не начинается");
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const bool ok = draw(&pdf, &painter);
    if (!painter.end() || !ok) {
        *error = QStringLiteral("PDF не рисуется");
        return false;
    }
    return true;
}

PdfPage::PdfPage(QPdfWriter *pdf, QPainter *painter)
    : m_pdf(pdf)
    , m_p(painter)
    , m_dry(!pdf || !painter)
    , m_family({ QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("Nimbus Sans") })
{
}

const QFont &PdfPage::font(double points, bool bold)
{
    const int key = fontKey(points, bold);
    auto it = m_fonts.find(key);
    if (it == m_fonts.end()) {
        QFont f;
        f.setFamilies(m_family);
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(points);
        f.setBold(bold);
        it = m_fonts.insert(key, f);
    }
    return *it;
}

const QFontMetricsF &PdfPage::metrics(double points, bool bold)
{
    const int key = fontKey(points, bold);
    auto it = m_metrics.find(key);
    if (it == m_metrics.end())
        it = m_metrics.insert(key, QFontMetricsF(font(points, bold), m_pdf));
    return *it;
}

const QRawFont &PdfPage::rawFont(double points, bool bold)
{
    const int key = fontKey(points, bold);
    auto it = m_rawFonts.find(key);
    if (it == m_rawFonts.end()) {
        QRawFont raw = QRawFont::fromFont(font(points, bold), QFontDatabase::Cyrillic);
        raw.setPixelSize(points * resolution / 72.0);
        it = m_rawFonts.insert(key, raw);
    }
    return *it;
}

bool PdfPage::glyphs(const QRawFont &font, const QString &s, QGlyphRun *run, double *width) const
{
    if (!font.isValid())
        return false;
    const QVector<quint32> indexes = font.glyphIndexesForString(s);
    if (indexes.isEmpty() || indexes.contains(0))
        return false;
    const QVector<QPointF> advances = font.advancesForGlyphIndexes(indexes);
    // Glyphs stand on whole device units, a twentieth of a millimetre apart:
    // the PDF then says "36 0 Td" where it would say "35.6250000 0 Td".
    QVector<QPointF> positions(indexes.size());
    double x = 0;
    for (int i = 0; i < indexes.size(); ++i) {
        positions[i] = QPointF(std::round(x), 0);
        x += advances[i].x();
    }
    run->setRawFont(font);
    run->setGlyphIndexes(indexes);
    run->setPositions(positions);
    *width = x;
    return true;
}

QPen PdfPage::pen(const QColor &c, double mm, Qt::PenStyle style) const
{
    QPen p(c, mm * m_u, style);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

bool PdfPage::place(const QRectF &r, Qt::Alignment align, const QString &s, const QRawFont &font,
                    QVector<quint32> *indexes, QVector<QPointF> *positions) const
{
    QGlyphRun run;
    double width = 0;
    if (!glyphs(font, s, &run, &width))
        return false;
    const double left = align & Qt::AlignRight     ? r.right() - width
                        : align & Qt::AlignHCenter ? r.center().x() - width / 2
                                                   : r.left();
    const double baseline = align & Qt::AlignTop      ? r.top() + font.ascent()
                            : align & Qt::AlignBottom ? r.bottom() - font.descent()
                                                      : r.center().y() + (font.ascent() - font.descent()) / 2;
    const QPointF origin(std::round(left), std::round(baseline));
    *indexes += run.glyphIndexes();
    for (const QPointF &p : run.positions())
        positions->append(origin + p);
    return true;
}

void PdfPage::text(double x, double y, double w, double h, Qt::Alignment align, const QString &s, double points,
                   bool bold, const QColor &colour)
{
    texts({ { QRectF(x, y, w, h), align, s } }, points, bold, colour);
}

void PdfPage::texts(const QVector<Cell> &cells, double points, bool bold, const QColor &colour)
{
    if (m_dry)
        return;
    m_p->setPen(colour);
    const QRawFont &raw = rawFont(points, bold);
    QVector<quint32> indexes;
    QVector<QPointF> positions;
    for (const Cell &c : cells) {
        if (c.text.isEmpty())
            continue;
        const QRectF r = rect(c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height());
        if (!place(r, c.align, c.text, raw, &indexes, &positions)) {
            // A character the first font lacks: the text engine finds another font.
            m_p->setFont(font(points, bold));
            m_p->drawText(r, int(c.align | Qt::TextSingleLine | Qt::TextDontClip), c.text);
        }
    }
    if (indexes.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    m_p->drawGlyphRun(QPointF(0, 0), run);
}

double PdfPage::textWidth(const QString &s, double points, bool bold)
{
    QGlyphRun run;
    double width = 0;
    if (glyphs(rawFont(points, bold), s, &run, &width))
        return width / m_u;
    return metrics(points, bold).horizontalAdvance(s) / m_u;
}

QString PdfPage::fit(const QString &s, double widthMm, double points, bool bold)
{
    return metrics(points, bold).elidedText(s, Qt::ElideMiddle, widthMm * m_u);
}

void PdfPage::note(double y, double height, const QString &s)
{
    m_p->setFont(font(7));
    m_p->setPen(faint);
    m_p->drawText(rect(0, y, m_width, height), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, s);
}

bool PdfPage::startPage(const QString &footer, int total)
{
    ++m_page;
    if (m_dry)
        return true;
    if (m_page > 1 && !m_pdf->newPage())
        return false;
    const double y = m_height - footerMm + 2;
    if (m_footerFitted.isNull() || footer != m_footer) {
        m_footer = footer;
        m_footerFitted = fit(footer, m_width * 0.7, 7);
    }
    m_p->setPen(pen(grid, 0.2));
    m_p->drawLine(point(0, y - 1), point(m_width, y - 1));
    texts({ { QRectF(0, y, m_width * 0.7, footerMm - 2), Qt::AlignLeft | Qt::AlignVCenter, m_footerFitted },
            { QRectF(m_width / 2, y, m_width / 2, footerMm - 2), Qt::AlignRight | Qt::AlignVCenter,
              QStringLiteral("Стр. %1 из %2").arg(m_page).arg(total) } },
          7, false, faint);
    return true;
}

void PdfPage::heading(const QString &title)
{
    text(0, 0, m_width, 9, Qt::AlignLeft | Qt::AlignVCenter, fit(title, m_width, 14, true), 14, true);
}

void PdfPage::titleColumn(const QVector<TitleLine> &lines, double x, double top, double lineMm, double width)
{
    for (int i = 0; i < lines.size(); ++i) {
        const double y = top + i * lineMm;
        text(x, y, labelMm, lineMm, Qt::AlignLeft | Qt::AlignVCenter, lines[i].label, 9, false, faint);
        text(x + labelMm, y, width - labelMm, lineMm, Qt::AlignLeft | Qt::AlignVCenter,
             fit(lines[i].value, width - labelMm, 9, true), 9, true, lines[i].alarm ? limitLine : ink);
    }
}

void PdfPage::tableTitle(double y, const QString &title, bool continued)
{
    text(0, y, m_width, tableTitleMm - 1, Qt::AlignLeft | Qt::AlignVCenter,
         continued ? title + QStringLiteral(" (продолжение)") : title, 11, true);
}

double PdfPage::headerPoints(const QString &title, double widthMm, double heightMm)
{
    const QString key = title + QLatin1Char('|') + QString::number(widthMm) + QLatin1Char('|')
                        + QString::number(heightMm);
    auto it = m_headerPoints.constFind(key);
    if (it != m_headerPoints.constEnd())
        return *it;
    double points = 8;
    for (; points > 5; points -= 0.5) {
        const QRectF need = metrics(points, true).boundingRect(QRectF(0, 0, widthMm * m_u, 1e6),
                                                                 int(Qt::TextWordWrap), title);
        if (need.width() <= widthMm * m_u && need.height() <= heightMm * m_u)
            break;
    }
    m_headerPoints.insert(key, points);
    return points;
}

void PdfPage::tableHeader(const QVector<Column> &columns, double y, double heightMm)
{
    if (m_dry)
        return;
    m_p->fillRect(rect(0, y, m_width, heightMm), QColor(236, 236, 236));
    double x = 0;
    for (const Column &c : columns) {
        m_p->setFont(font(headerPoints(c.title, c.width - 2, heightMm), true));
        m_p->setPen(ink);
        m_p->drawText(rect(x + 1, y, c.width - 2, heightMm), int(c.align | Qt::AlignVCenter | Qt::TextWordWrap),
                      c.title);
        x += c.width;
    }
}

void PdfPage::tableRow(const QVector<Column> &columns, const QStringList &values, double y, bool shaded)
{
    if (m_dry)
        return;
    if (shaded)
        m_p->fillRect(rect(0, y, m_width, rowMm), QColor(247, 247, 247));
    QVector<Cell> row;
    double x = 0;
    for (int k = 0; k < columns.size(); ++k) {
        const Column &c = columns[k];
        const QString value = values.value(k);
        row.append({ QRectF(x + 1, y, c.width - 2, rowMm), c.align | Qt::AlignVCenter,
                     c.elide ? fit(value, c.width - 2, 8) : value });
        x += c.width;
    }
    texts(row, 8);
}
