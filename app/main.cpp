#include "exitsignals.h"
#include "instanceguard.h"
#include "tervalo.h"
#include "toolrunservices.h"
#include "widgettheme.h"

#ifdef TERVALO_TEST_BUILD
#include "meassystemsfinder.h"

#include <QDir>
#include <QFileInfo>
#endif

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char startupSemaphoreKey[] = "<tervalo.brenvik>";
const char instanceMarkerKey[] = "<memory_tervalo.brenvik>";

// Copies that tests start guard against each other, never against the program
// someone runs on the same machine; each test names keys of its own, so that
// tests run side by side (or from two checkouts) never turn each other away.
QString instanceKeySuffix()
{
#ifdef TERVALO_TEST_BUILD
    return QStringLiteral(".test") + qEnvironmentVariable("TERVALO_INSTANCE_KEY");
#else
    return QString();
#endif
}

// The window speaks Russian, and so must the framework's own words in it: the
// save dialog's and its question before a file is replaced. Qt's translations
// lie where Qt keeps them, or beside the program where it was deployed with it.
void loadFrameworkTranslations(QCoreApplication &app, QTranslator &translator)
{
    const QStringList places{ QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                              QCoreApplication::applicationDirPath() + QStringLiteral("/translations") };
    for (const QString &place : places) {
        if (translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"), QStringLiteral("_"),
                            place)) {
            app.installTranslator(&translator);
            return;
        }
    }
}

#ifdef TERVALO_TEST_BUILD
// Copies that tests start never open a viewer on the machine that runs them:
// they only say on stdout which file they would have opened.
class TestRunServices : public ToolRunServices
{
public:
    bool openFile(const QString &path) override
    {
        std::printf("openFile %s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData());
        std::fflush(stdout);
        return QFileInfo(path).isFile();
    }
};
using ProgramRunServices = TestRunServices;
#else
using ProgramRunServices = ToolRunServices;
#endif

} // namespace

int main(int argc, char *argv[])
{
#ifdef TERVALO_TEST_BUILD
    // Tests start copies of the program; they must never probe the machine's own ports.
    MeasSystemsFinder::setSystemPortsListed(false);
    // Test builds carry other documents under the same name "qrc:/main.qml" and
    // share the program's cache folder; a compiled document cached by one build
    // must never be taken for another's.
    qputenv("QML_DISABLE_DISK_CACHE", "1");
#endif
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QQuickStyle::setStyle(QStringLiteral("Material"));

    // The widget application, so that the file dialog is the framework's widget
    // dialog where the platform offers none (Linux without a desktop's theme);
    // Windows keeps its own.
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("brenvik"));
    app.setOrganizationDomain(QStringLiteral("brenvik"));
    app.setApplicationName(QStringLiteral("tervalo"));

    // Held until main() returns: after the journal of this copy is finished.
    const InstanceGuard guard(QString::fromLatin1(startupSemaphoreKey) + instanceKeySuffix(),
                              QString::fromLatin1(instanceMarkerKey) + instanceKeySuffix());
    if (!guard.isFirst())
        return 1;

    app.setWindowIcon(QIcon(QStringLiteral(":icons8-journal-80.png")));
    QTranslator frameworkTranslator;
    loadFrameworkTranslations(app, frameworkTranslator);

    QQmlApplicationEngine engine;
    const QUrl url(QStringLiteral("qrc:/main.qml"));
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [url](QObject *object, const QUrl &objectUrl) {
            if (!object && url == objectUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);

    // Outlives the controller, so that an ending signal during its last steps
    // still finds them done.
    ExitSignals exitSignals(&app);

    // Destroyed before the engine: declared after it.
    Tervalo controller(nullptr);
    controller.setRunServices(std::make_unique<ProgramRunServices>());
    engine.rootContext()->setContextProperty(QStringLiteral("mcRoutine"), &controller);
    engine.load(url);
    WidgetTheme widgetTheme(&app);
    if (!engine.rootObjects().isEmpty())
        widgetTheme.follow(engine.rootObjects().constFirst()->findChild<QObject *>(QStringLiteral("theme")));
    controller.start();

    const int code = app.exec();
    // Whoever ended the program from a terminal learns there where the unsaved
    // journal went; the run log says it too.
    const QString unsaved = controller.finishJournal();
    if (!unsaved.isEmpty())
        std::fprintf(stderr, "%s\n",
                     (QStringLiteral("Несохранённый журнал записан в файл ") + unsaved).toLocal8Bit().constData());
    else if (controller.unsavedCount() > 0)
        std::fprintf(stderr, "%s\n",
                     QStringLiteral("Несохранённый журнал (измерений: %1) не удалось записать целиком ни в один "
                                    "файл; что удалось, названо в tervalo.log")
                             .arg(controller.unsavedCount()).toLocal8Bit().constData());
    // A report or an import that outlasts the wait ends with the process, and
    // before the application is torn down under it; each is written whole or
    // not at all, and the run log names what was given up.
    if (!controller.finishServices())
        std::_Exit(code);
    return code;
}
