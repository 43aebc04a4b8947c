#include "protocolreader.h"

#include "testfolder.h"

#include <QCryptographicHash>
#include <QtTest>

// The reader takes what the program writes, empty fields included, and refuses
// anything else with the file and line named.
class TestProtocolReader : public QObject
{
    Q_OBJECT

private slots:
    void readsRowsAsTheProgramWritesThem_data();
    void readsRowsAsTheProgramWritesThem();
    void refusesWhatIsNotAProtocol_data();
    void refusesWhatIsNotAProtocol();
};

namespace {
QByteArray header()
{
    return ProtocolReader::header() + '\n';
}
} // namespace

void TestProtocolReader::readsRowsAsTheProgramWritesThem_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("encoding");

    const QByteArray utf8 = ProtocolReader::headerText().toUtf8() + '\n';
    QTest::newRow("Windows-1251, as the program writes it") << header() << int(Encoding::Windows1251);
    QTest::newRow("UTF-8, as a spreadsheet saves it again") << utf8 << int(Encoding::Utf8);
    QTest::newRow("UTF-8 after a byte-order mark") << "\xEF\xBB\xBF" + utf8 << int(Encoding::Utf8WithBom);
}

void TestProtocolReader::readsRowsAsTheProgramWritesThem()
{
    QFETCH(QByteArray, head);
    QFETCH(int, encoding);
    // Negative and reverse pickets, empty fields for a sensor without reading,
    // a CR left by an editor, blank lines at the end.
    const QByteArray bytes = head + "12+;1234.50;5.250;-12.500;\n"
                                        "-1-;0.25;;3.000;\n"
                                        "0+;0.00;-0.001;;\r\n"
                                        "7-;99.75;;;\n\n\n";
    Protocol p;
    QString error;
    QVERIFY2(ProtocolReader::parse(bytes, QStringLiteral("night.csv"), &p, &error), qPrintable(error));
    QCOMPARE(int(p.encoding), encoding);
    QStringList rows;
    for (const ProtocolRow &r : p.rows) {
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(positionText(r))
                    .arg(r.quarters)
                    .arg(r.hasValue[Vertical] ? QString::number(r.value[Vertical]) : QStringLiteral("—"))
                    .arg(r.hasValue[Horizontal] ? QString::number(r.value[Horizontal]) : QStringLiteral("—"));
    }
    QCOMPARE(rows, QStringList({ "ПК 12 + 1234.50 4938 5.25 -12.5", "ПК -1 - 0.25 1 — 3", "ПК 0 + 0.00 0 -0.001 —",
                                 "ПК 7 - 99.75 399 — —" }));

    // The same rows read from a file that ends without its last LF.
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(folder.filePath("cut.csv"), bytes.left(bytes.indexOf("\n\n"))));
    QVERIFY2(ProtocolReader::read(folder.filePath("cut.csv"), &p, &error), qPrintable(error));
    QCOMPARE(p.rows.size(), size_t(4));
    QVERIFY(p.modified.isValid());
    QCOMPARE(p.sha256, QCryptographicHash::hash(fileBytes(folder.filePath("cut.csv")), QCryptographicHash::Sha256).toHex());
}

void TestProtocolReader::refusesWhatIsNotAProtocol_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray good = "12+;3.00;1.000;2.000;\n";
    QTest::newRow("an empty file") << QByteArray() << "p.csv:1: пустой файл";
    QTest::newRow("a header in UTF-16") << QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char *>(
                                                ProtocolReader::headerText().utf16()), 102) + QByteArray("\n\0", 2)
                                        << "p.csv:1: не протокол";
    QTest::newRow("a PDF") << QByteArray("%PDF-1.4\n%\xe2\xe3\n1 0 obj") << "p.csv:1: не протокол";
    QTest::newRow("a row with three fields") << header() + good + "12+;3.25;1.000;\n" << "p.csv:3: полей, закрытых \";\": 3";
    QTest::newRow("a row with five fields") << header() + "12+;3.25;1.000;2.000;9;\n" << "p.csv:2: больше 4 полей";
    QTest::newRow("a row cut short") << header() + good + good + "12+;3.25;1.000;2.0" << "p.csv:4: полей, закрытых \";\": 3";
    QTest::newRow("a blank line between rows") << header() + good + "\n" + good << "p.csv:3: пустая строка";
    QTest::newRow("a picket without direction") << header() + "12;3.25;1.000;2.000;\n" << "p.csv:2: пикет \"12\"";
    QTest::newRow("a fractional picket") << header() + "1.5+;3.25;1.000;2.000;\n" << "p.csv:2: пикет \"1.5+\"";
    QTest::newRow("a distance with a decimal comma") << header() + "12+;3,25;1.000;2.000;\n"
                                                     << "p.csv:2: расстояние \"3,25\": не число";
    QTest::newRow("a negative distance") << header() + "12+;-3.25;1.000;2.000;\n" << "p.csv:2: расстояние \"-3.25\"";
    QTest::newRow("a distance off the quarter grid") << header() + "12+;3.30;1.000;2.000;\n"
                                                     << "p.csv:2: расстояние \"3.30\": не кратно 0.25 м";
    QTest::newRow("a vertical value that is text") << header() + "12+;3.25;abc;2.000;\n"
                                                   << "p.csv:2: вертикаль \"abc\"";
    QTest::newRow("a horizontal value with an exponent") << header() + "12+;3.25;1.000;1e3;\n"
                                                         << "p.csv:2: горизонталь \"1e3\"";
    QTest::newRow("a blank for an empty field") << header() + "12+;3.25; ;2.000;\n" << "p.csv:2: вертикаль \" \"";
}

void TestProtocolReader::refusesWhatIsNotAProtocol()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(folder.filePath("p.csv"), bytes));
    Protocol p;
    QString error;
    QVERIFY(!ProtocolReader::read("p.csv", &p, &error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestProtocolReader)
#include "tst_protocolreader.moc"
