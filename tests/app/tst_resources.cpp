#include <QFile>
#include <QImage>
#include <QtEndian>
#include <QtTest>

#include <cmath>

// The resources the window refers to by name, read back from the resource root
// exactly as the program sees them.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void beepHeaderIsMonoPcm44100();
    void beepIsOneKilohertzSineFromPhaseZero();
    void linkToneFallsFrom880To440Hertz();
    void iconIsRgbaOfItsSize();
    void documentsLieAtTheRoot_data();
    void documentsLieAtTheRoot();

private:
    static QByteArray beep();
};

QByteArray TestResources::beep()
{
    QFile file(QStringLiteral(":/1kHz_44100Hz_16bit_05sec.wav"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestResources::beepHeaderIsMonoPcm44100()
{
    const QByteArray wav = beep();
    QCOMPARE(wav.size(), 441044);
    const auto *d = reinterpret_cast<const uchar *>(wav.constData());
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(d + 4), quint32(441036));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(qFromLittleEndian<quint32>(d + 16), quint32(16));
    QCOMPARE(qFromLittleEndian<quint16>(d + 20), quint16(1));      // PCM
    QCOMPARE(qFromLittleEndian<quint16>(d + 22), quint16(1));      // mono
    QCOMPARE(qFromLittleEndian<quint32>(d + 24), quint32(44100));
    QCOMPARE(qFromLittleEndian<quint32>(d + 28), quint32(88200));
    QCOMPARE(qFromLittleEndian<quint16>(d + 32), quint16(2));
    QCOMPARE(qFromLittleEndian<quint16>(d + 34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(qFromLittleEndian<quint32>(d + 40), quint32(441000));
}

void TestResources::beepIsOneKilohertzSineFromPhaseZero()
{
    const QByteArray wav = beep();
    QCOMPARE(wav.size(), 441044);
    const auto *samples = reinterpret_cast<const uchar *>(wav.constData()) + 44;
    const double pi = std::acos(-1.0);
    int maxAbs = 0;
    for (int n = 0; n < 220500; ++n) {
        const int sample = qFromLittleEndian<qint16>(samples + 2 * n);
        const double expected = 22670.0 * std::sin(2.0 * pi * 1000.0 * n / 44100.0);
        if (std::abs(sample - expected) > 1.0)
            QFAIL(qPrintable(QStringLiteral("sample %1 is %2, expected %3").arg(n).arg(sample).arg(expected)));
        maxAbs = qMax(maxAbs, std::abs(sample));
    }
    QCOMPARE(qFromLittleEndian<qint16>(samples), qint16(0));
    QVERIFY(maxAbs <= 22670 && maxAbs >= 22660);
}

// Two tones and a gap, told from the steady 1 kHz beep by their pitches, which
// the zero crossings of each part give.
void TestResources::linkToneFallsFrom880To440Hertz()
{
    QFile file(QStringLiteral(":/linklost_880-440Hz_44100Hz_16bit.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    const int count = 44100 * 6 / 10;
    QCOMPARE(wav.size(), 44 + 2 * count);
    QCOMPARE(wav.left(4) + wav.mid(8, 8) + wav.mid(36, 4), QByteArray("RIFFWAVEfmt data"));
    QCOMPARE(wav.mid(20, 16), beep().mid(20, 16));   // the beep's format: PCM, mono, 44100 Hz, 16 bits
    const auto *samples = reinterpret_cast<const uchar *>(wav.constData()) + 44;
    auto crossings = [&](int from, int to) {
        int n = 0;
        for (int i = from + 1; i < to; ++i)
            n += (qFromLittleEndian<qint16>(samples + 2 * i) >= 0) != (qFromLittleEndian<qint16>(samples + 2 * (i - 1)) >= 0);
        return n;
    };
    const int high = 44100 / 4, gapEnd = high + 44100 / 20;
    QVERIFY(qAbs(crossings(0, high) - 2 * 880 / 4) <= 2);
    QCOMPARE(crossings(high + 1, gapEnd - 1), 0);
    QVERIFY(qAbs(crossings(gapEnd, count) - 2 * 440 * 3 / 10) <= 2);
}

void TestResources::iconIsRgbaOfItsSize()
{
    const QImage icon(QStringLiteral(":icons8-journal-80.png"));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), QSize(1438, 1430));
    QVERIFY(icon.hasAlphaChannel());
}

void TestResources::documentsLieAtTheRoot_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name :
         { "main.qml", "ImpGauge.qml", "Marker.qml", "InputIndicator.qml", "GaugeCaption.qml", "MessageRow.qml",
           "MessageStrip.qml", "GaugePage.qml", "SettingsPage.qml", "ManualPage.qml",
           "Theme.qml", "RunButton.qml", "StatusLamp.qml", "ChoiceBox.qml", "MarkChoice.qml",
             "EntryField.qml" })
        QTest::newRow(name) << QStringLiteral(":/") + QLatin1String(name);
}

void TestResources::documentsLieAtTheRoot()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
