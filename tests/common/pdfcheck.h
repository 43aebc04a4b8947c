#ifndef PDFCHECK_H
#define PDFCHECK_H

#include "testfolder.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

// The pages of a PDF that Qt's writer made, counted in its bytes.
inline int pdfPages(const QString &path)
{
    return int(fileBytes(path).count("/Type /Page\n"));
}

// How much of the first page pdftoppm paints dark, in thousandths of its
// pixels; -1 when pdftoppm (poppler-utils) is not installed, -2 when it
// cannot render the page. The picture is left beside the PDF.
inline int firstPageInk(const QString &pdf)
{
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        return -1;
    const QString stem = pdf + QStringLiteral("-page");
    if (QProcess::execute(pdftoppm, { "-png", "-r", "40", "-f", "1", "-l", "1", "-singlefile", pdf, stem }) != 0)
        return -2;
    const QImage page(stem + QStringLiteral(".png"));
    if (page.isNull())
        return -2;
    qint64 inked = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            inked += qGray(page.pixel(x, y)) < 160 ? 1 : 0;
    return int(inked * 1000 / (qint64(page.width()) * page.height()));
}

#endif // PDFCHECK_H
