#ifndef TOOLSTART_H
#define TOOLSTART_H

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

#include <cstdlib> // names the C library (__GLIBC__)

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// What the command-line tools do first.
namespace ToolStart {

// A PDF is painted page after page, each page building and dropping buffers of
// a few megabytes. With its default thresholds glibc maps each such buffer
// afresh and hands the freed top of the heap back to the system, so every page
// faults its memory in again: about a third of a 200 k-row report's time. A
// tool that paints and ends keeps the memory instead. Other C libraries keep
// their own ways.
inline void keepHeapForReuse()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

// The parser's own messages ("Unknown option") in Russian, from Qt's
// translations where the deployment or the system keeps them.
inline void loadQtTranslation(QCoreApplication *app)
{
    static QTranslator translator;
    for (const QString &folder : { QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                                   QLibraryInfo::location(QLibraryInfo::TranslationsPath) }) {
        if (translator.load(QStringLiteral("qtbase_ru"), folder)) {
            app->installTranslator(&translator);
            return;
        }
    }
}

} // namespace ToolStart

#endif // TOOLSTART_H
