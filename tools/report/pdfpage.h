#ifndef PDFPAGE_H
#define PDFPAGE_H

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPen>
#include <QRawFont>
#include <QRectF>
#include <QStringList>
#include <QVector>

#include <functional>

class QGlyphRun;
class QIODevice;
class QPainter;
class QPdfWriter;

// The colours the run report and the archive's trend share, so that a band
// or a limit reads the same in both.
namespace PdfColour {
inline const QColor ink(20, 20, 20);
inline const QColor faint(110, 110, 110);
inline const QColor grid(222, 222, 222);
inline const QColor bandFill(214, 239, 214);
inline const QColor limitLine(196, 0, 0);
inline const QColor exceedLine(214, 0, 0);
inline const QColor runLine(22, 62, 150);
} // namespace PdfColour

// The paper of the tools' PDF documents, the run report and the archive's
// trend, so that the two lie side by side in the engineer's folder alike:
// A4 landscape within 12 mm margins, places in millimetres from the top left
// of the printed area, the same fonts, footers, title blocks and tables.
// A document's writer derives from it and keeps its own layout. Without a
// painter it paints nothing and only counts pages, so a document can say
// "page N of M" before its first page is drawn. Needs a QGuiApplication in
// the process for its fonts; touches nothing of it, so it may run on any
// thread.
class PdfPage
{
public:
    static constexpr int resolution = 600;  // dots per inch of the PDF's coordinate space
    static constexpr double marginMm = 12.0;
    static constexpr double footerMm = 6.0;
    static constexpr double rowMm = 5.2;  // one table row
    static constexpr double tableTitleMm = 8.0;
    static constexpr double labelMm = 38.0;  // a label of the title block

    struct Column
    {
        QString title;
        double width;  // mm
        Qt::Alignment align;
        bool elide = false;  // free text that may not fit
    };

    struct TitleLine
    {
        QString label;
        QString value;
        bool alarm = false;  // shown in red: the engineer must not miss it
    };

    // Opens a PDF on device, A4 landscape, and hands draw its writer and
    // painter. false and a reason when painting failed; the device is left to
    // the caller.
    static bool write(QIODevice *device, const QString &creator, const QString &title,
                      const std::function<bool(QPdfWriter *, QPainter *)> &draw, QString *error);

protected:
    // Both null: nothing is painted, pages are only counted.
    PdfPage(QPdfWriter *pdf, QPainter *painter);

    QRectF rect(double x, double y, double w, double h) const { return QRectF(x * m_u, y * m_u, w * m_u, h * m_u); }
    QPointF point(double x, double y) const { return QPointF(x * m_u, y * m_u); }
    const QFont &font(double points, bool bold = false);
    const QFontMetricsF &metrics(double points, bool bold = false);
    QPen pen(const QColor &c, double mm, Qt::PenStyle style = Qt::SolidLine) const;

    void text(double x, double y, double w, double h, Qt::Alignment align, const QString &s, double points = 9,
              bool bold = false, const QColor &colour = PdfColour::ink);
    // Texts of one font and colour, each in its own rectangle (mm), painted as
    // one run of glyphs: a table row is then one text object in the PDF, not
    // one per cell, and the PDF is a third smaller.
    struct Cell
    {
        QRectF rect;
        Qt::Alignment align;
        QString text;
    };
    void texts(const QVector<Cell> &cells, double points, bool bold = false, const QColor &colour = PdfColour::ink);
    double textWidth(const QString &s, double points, bool bold = false);
    // A file name can be as long as the user likes; the block around it cannot.
    QString fit(const QString &s, double widthMm, double points, bool bold = false);
    // Small print over the page's width, wrapped.
    void note(double y, double height, const QString &s);

    // The next page, with a rule and footer at its foot: footer at the left,
    // "Стр. N из M" at the right.
    bool startPage(const QString &footer, int total);
    // The document's heading at the top of its first page.
    void heading(const QString &title);
    // Labels in grey and values in bold, a line each, within width from x.
    void titleColumn(const QVector<TitleLine> &lines, double x, double top, double lineMm, double width);

    void tableTitle(double y, const QString &title, bool continued);
    // A column title is never clipped: it wraps onto a second line, and one
    // that still does not fit is set smaller.
    void tableHeader(const QVector<Column> &columns, double y, double heightMm);
    void tableRow(const QVector<Column> &columns, const QStringList &values, double y, bool shaded);

    QPdfWriter *const m_pdf;
    QPainter *const m_p;
    const bool m_dry;  // counting pages only
    const double m_u = resolution / 25.4;  // device units per millimetre
    const double m_width = 297.0 - 2 * marginMm;  // A4 landscape within the margins
    const double m_height = 210.0 - 2 * marginMm;
    int m_page = 0;

private:
    // The font's glyphs at the PDF's resolution. A report is tens of thousands
    // of short texts; setting them from the font's own glyphs and advances
    // skips the text engine's shaping, which costs more than the PDF itself.
    const QRawFont &rawFont(double points, bool bold = false);
    // Glyphs and advances of s, false when the font lacks a character.
    bool glyphs(const QRawFont &font, const QString &s, QGlyphRun *run, double *width) const;
    // Appends the glyphs of s set in the rectangle (device units) as the
    // alignment says; false when the font lacks a character.
    bool place(const QRectF &r, Qt::Alignment align, const QString &s, const QRawFont &font,
               QVector<quint32> *indexes, QVector<QPointF> *positions) const;
    double headerPoints(const QString &title, double widthMm, double heightMm);

    QStringList m_family;
    QHash<int, QFont> m_fonts;
    QHash<int, QFontMetricsF> m_metrics;
    QHash<int, QRawFont> m_rawFonts;
    QHash<QString, double> m_headerPoints;
    QString m_footer;        // as given
    QString m_footerFitted;  // as it fits
};

#endif // PDFPAGE_H
