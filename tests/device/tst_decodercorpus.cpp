// Replays the committed seed corpus of the decoder's fuzz target through its
// entry point, one row per input, with any compiler.
#include "decodercheck.h"

#include <QDir>
#include <QFile>
#include <QtTest>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

class TestDecoderCorpus : public QObject
{
    Q_OBJECT

private slots:
    void replays_data();
    void replays();
};

void TestDecoderCorpus::replays_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(TERVALO_FUZZ_CORPUS));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), "the seed corpus is missing");
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TestDecoderCorpus::replays()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const auto *data = reinterpret_cast<const std::uint8_t *>(input.constData());
    QString why;
    QVERIFY2(checkDecoder(data, std::size_t(input.size()), &why), qPrintable(why));
    QCOMPARE(LLVMFuzzerTestOneInput(data, std::size_t(input.size())), 0);
}

QTEST_APPLESS_MAIN(TestDecoderCorpus)
#include "tst_decodercorpus.moc"
