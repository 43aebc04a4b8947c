#ifndef SIMULATEDRUN_H
#define SIMULATEDRUN_H

#include "framebuilder.h"
#include "trolleysimulation.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <cstdlib>
#include <vector>

// A push of the simulated trolley recorded the way the window records it: a
// row each time the wheel counter completes another third of a thousand steps
// (a quarter metre), the operator pressing ПИКЕТ every 100 m, a sensor without
// reading written as an empty field. Shared by the report's tests and benchmark.
struct SimulatedRow
{
    qint32 picket = 0;
    bool forward = true;
    int quarters = 0;
    bool has[2] = { false, false };
    double value[2] = { 0, 0 };  // mm, as the device sent it (hundredths)
};

inline std::vector<SimulatedRow> simulateRun(int rows, qint32 startPicket, bool forward, quint32 seed)
{
    TrolleySimulation::Options options;
    options.seed = seed;
    TrolleySimulation trolley(options);
    std::vector<SimulatedRow> run;
    run.reserve(size_t(rows));
    while (int(run.size()) < rows) {
        const TrolleySimulation::Sample s = trolley.nextSample();
        const int n = int(run.size());
        if (std::abs(qint64(s.counter)) * 3 < qint64(n) * 1000)
            continue;
        SimulatedRow row;
        row.picket = forward ? startPicket + n / 400 : startPicket - n / 400;
        row.forward = forward;
        row.quarters = n % 400;
        const qint16 raw[2] = { s.vertical, s.horizontal };
        for (int c = 0; c < 2; ++c) {
            row.has[c] = raw[c] != FrameBuilder::noReading;
            row.value[c] = raw[c] / 100.0;
        }
        run.push_back(row);
    }
    return run;
}

inline QByteArray protocolBytes(const std::vector<SimulatedRow> &run)
{
    QByteArray bytes = QTextCodec::codecForName("Windows-1251")->fromUnicode(
        QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;\n"));
    bytes.reserve(int(run.size()) * 28 + bytes.size());
    for (const SimulatedRow &r : run) {
        bytes += QByteArray::number(r.picket) + (r.forward ? '+' : '-') + ';';
        bytes += QByteArray::number(r.quarters * 0.25, 'f', 2) + ';';
        for (int c = 0; c < 2; ++c)
            bytes += (r.has[c] ? QByteArray::number(r.value[c], 'f', 3) : QByteArray()) + ';';
        bytes += '\n';
    }
    return bytes;
}

#endif // SIMULATEDRUN_H
