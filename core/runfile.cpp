#include "runfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace {

const QString forwardText = QStringLiteral("forward");
const QString backwardText = QStringLiteral("backward");

QJsonValue dateValue(const QDate &date)
{
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

QJsonValue timeValue(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(RunFile::timeText(time)) : QJsonValue(QJsonValue::Null);
}

QJsonArray toleranceValue(const RunTolerance &t)
{
    return QJsonArray { t.low, t.high };
}

// Reads one field into *out when it is there; a field of another type is an
// error, an absent or null one leaves *out as it was.
class Fields
{
public:
    Fields(const QJsonObject &object, const QString &where) : m_object(object), m_where(where) {}

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    void text(const QString &key, QString *out)
    {
        const QJsonValue v = value(key);
        if (v.isUndefined())
            return;
        if (!v.isString())
            return fail(key, QStringLiteral("ожидается строка"));
        *out = v.toString();
    }

    void number(const QString &key, double *out)
    {
        const QJsonValue v = value(key);
        if (v.isUndefined())
            return;
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return fail(key, QStringLiteral("ожидается число"));
        *out = v.toDouble();
    }

    void integer(const QString &key, int *out)
    {
        double d = *out;
        number(key, &d);
        if (!ok())
            return;
        if (d != std::floor(d) || std::fabs(d) > 2147483647.0)
            return fail(key, QStringLiteral("ожидается целое число"));
        *out = int(d);
    }

    void direction(const QString &key, bool *forward)
    {
        QString text;
        this->text(key, &text);
        if (!ok() || text.isNull())
            return;
        if (text == forwardText)
            *forward = true;
        else if (text == backwardText)
            *forward = false;
        else
            fail(key, QStringLiteral("ожидается \"forward\" или \"backward\""));
    }

    void date(const QString &key, QDate *out)
    {
        QString text;
        this->text(key, &text);
        if (!ok() || text.isNull())
            return;
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!d.isValid())
            return fail(key, QStringLiteral("ожидается дата ГГГГ-ММ-ДД"));
        *out = d;
    }

    void time(const QString &key, QDateTime *out)
    {
        QString text;
        this->text(key, &text);
        if (!ok() || text.isNull())
            return;
        const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
        if (!t.isValid())
            return fail(key, QStringLiteral("ожидается время ISO 8601"));
        *out = t;
    }

    void tolerance(const QString &key, RunTolerance *out, bool *found)
    {
        const QJsonValue v = value(key);
        if (v.isUndefined())
            return;
        const QJsonArray pair = v.toArray();
        if (!v.isArray() || pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble())
            return fail(key, QStringLiteral("ожидается [нижний, верхний]"));
        out->low = pair[0].toDouble();
        out->high = pair[1].toDouble();
        *found = true;
    }

    QJsonValue value(const QString &key) const
    {
        const QJsonValue v = m_object.value(key);
        return v.isNull() ? QJsonValue(QJsonValue::Undefined) : v;
    }

    void fail(const QString &key, const QString &what)
    {
        if (m_error.isEmpty())
            m_error = m_where + key + QStringLiteral(": ") + what;
    }

private:
    QJsonObject m_object;
    QString m_where;
    QString m_error;
};

} // namespace

bool RunInfo::calibrationExpired() const
{
    return calibrationValidUntil.isValid() && started.isValid() && calibrationValidUntil < started.date();
}

namespace RunFile {

QString pathFor(const QString &protocolPath)
{
    return besideProtocol(protocolPath, QStringLiteral(".json"));
}

QString besideProtocol(const QString &protocolPath, const QString &suffix)
{
    const QFileInfo info(protocolPath);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString folder = protocolPath.left(protocolPath.size() - name.size());
    return folder + stem + suffix;
}

QByteArray toJson(const RunInfo &info)
{
    QJsonObject program { { QStringLiteral("name"), info.programName },
                          { QStringLiteral("version"), info.programVersion } };
    QJsonArray marks;
    for (const RunMark &m : info.marks) {
        marks.append(QJsonObject { { QStringLiteral("picket"), m.picket },
                                   { QStringLiteral("direction"), m.forward ? forwardText : backwardText },
                                   { QStringLiteral("distance"), std::round(m.distance * 100.0) / 100.0 },
                                   { QStringLiteral("kind"), m.kind },
                                   { QStringLiteral("note"), m.note },
                                   { QStringLiteral("time"), timeValue(m.time) } });
    }
    QJsonObject tolerances;
    if (info.tolerancesKnown) {
        tolerances.insert(QStringLiteral("vertical"), toleranceValue(info.vertical));
        tolerances.insert(QStringLiteral("horizontal"), toleranceValue(info.horizontal));
    }
    QJsonObject root {
        { QStringLiteral("format"), info.format },
        { QStringLiteral("program"), program },
        { QStringLiteral("line"), info.line },
        { QStringLiteral("track"), info.track },
        { QStringLiteral("operator"), info.operatorName },
        { QStringLiteral("trolley"), info.trolley },
        { QStringLiteral("calibrationValidUntil"), dateValue(info.calibrationValidUntil) },
        { QStringLiteral("startPicket"), info.startPicket },
        { QStringLiteral("direction"), info.forward ? forwardText : backwardText },
        { QStringLiteral("started"), timeValue(info.started) },
        { QStringLiteral("stopped"), timeValue(info.stopped) },
        { QStringLiteral("stepLength"), info.stepLength },
        { QStringLiteral("tolerances"), info.tolerancesKnown ? QJsonValue(tolerances) : QJsonValue(QJsonValue::Null) },
        { QStringLiteral("rows"), info.rows },
        { QStringLiteral("sha256"), QString::fromLatin1(info.sha256) },
        { QStringLiteral("marks"), marks },
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool fromJson(const QByteArray &bytes, RunInfo *info, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("не JSON (%1, смещение %2)").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("ожидается объект JSON");
        return false;
    }
    const QJsonObject root = doc.object();
    RunInfo run;
    Fields f(root, QString());
    if (!root.value(QStringLiteral("format")).isDouble()) {
        *error = QStringLiteral("format: нет номера формата");
        return false;
    }
    f.integer(QStringLiteral("format"), &run.format);
    if (f.ok() && run.format < 1)
        f.fail(QStringLiteral("format"), QStringLiteral("ожидается 1 или больше"));

    const QJsonValue program = f.value(QStringLiteral("program"));
    if (program.isObject()) {
        Fields p(program.toObject(), QStringLiteral("program."));
        p.text(QStringLiteral("name"), &run.programName);
        p.text(QStringLiteral("version"), &run.programVersion);
        if (!p.ok())
            f.fail(QString(), p.error());
    } else if (program.isString()) {
        run.programName = program.toString();
    } else if (!program.isUndefined()) {
        f.fail(QStringLiteral("program"), QStringLiteral("ожидается объект"));
    }

    f.text(QStringLiteral("line"), &run.line);
    f.text(QStringLiteral("track"), &run.track);
    f.text(QStringLiteral("operator"), &run.operatorName);
    f.text(QStringLiteral("trolley"), &run.trolley);
    f.date(QStringLiteral("calibrationValidUntil"), &run.calibrationValidUntil);
    f.integer(QStringLiteral("startPicket"), &run.startPicket);
    f.direction(QStringLiteral("direction"), &run.forward);
    f.time(QStringLiteral("started"), &run.started);
    f.time(QStringLiteral("stopped"), &run.stopped);
    f.number(QStringLiteral("stepLength"), &run.stepLength);
    f.integer(QStringLiteral("rows"), &run.rows);
    QString sha;
    f.text(QStringLiteral("sha256"), &sha);
    run.sha256 = sha.toLatin1().toLower();

    const QJsonValue tolerances = f.value(QStringLiteral("tolerances"));
    if (tolerances.isObject()) {
        Fields t(tolerances.toObject(), QStringLiteral("tolerances."));
        bool vertical = false, horizontal = false;
        t.tolerance(QStringLiteral("vertical"), &run.vertical, &vertical);
        t.tolerance(QStringLiteral("horizontal"), &run.horizontal, &horizontal);
        if (!t.ok())
            f.fail(QString(), t.error());
        run.tolerancesKnown = vertical && horizontal;
    } else if (!tolerances.isUndefined()) {
        f.fail(QStringLiteral("tolerances"), QStringLiteral("ожидается объект"));
    }

    const QJsonValue marks = f.value(QStringLiteral("marks"));
    if (marks.isArray()) {
        const QJsonArray list = marks.toArray();
        for (int i = 0; i < list.size() && f.ok(); ++i) {
            const QString where = QStringLiteral("marks[%1].").arg(i);
            if (!list[i].isObject()) {
                f.fail(QStringLiteral("marks[%1]").arg(i), QStringLiteral("ожидается объект"));
                break;
            }
            RunMark mark;
            Fields m(list[i].toObject(), where);
            m.integer(QStringLiteral("picket"), &mark.picket);
            m.direction(QStringLiteral("direction"), &mark.forward);
            m.number(QStringLiteral("distance"), &mark.distance);
            m.text(QStringLiteral("kind"), &mark.kind);
            m.text(QStringLiteral("note"), &mark.note);
            m.time(QStringLiteral("time"), &mark.time);
            if (m.ok() && mark.kind.isEmpty())
                m.fail(QStringLiteral("kind"), QStringLiteral("нет вида отметки"));
            if (!m.ok())
                f.fail(QString(), m.error());
            run.marks.push_back(mark);
        }
    } else if (!marks.isUndefined()) {
        f.fail(QStringLiteral("marks"), QStringLiteral("ожидается список"));
    }

    if (!f.ok()) {
        *error = f.error();
        return false;
    }
    *info = std::move(run);
    return true;
}

bool read(const QString &path, RunInfo *info, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + (QFileInfo::exists(path) ? QStringLiteral(": не открывается: ") + file.errorString()
                                                 : QStringLiteral(": файла нет"));
        return false;
    }
    QString reason;
    if (!fromJson(file.readAll(), info, &reason)) {
        *error = path + QStringLiteral(": ") + reason;
        return false;
    }
    return true;
}

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

const QStringList &markKinds()
{
    static const QStringList kinds { QStringLiteral("rampStart"), QStringLiteral("rampEnd"),
                                     QStringLiteral("joint"),     QStringLiteral("insulator"),
                                     QStringLiteral("anchor"),    QStringLiteral("defect"),
                                     QStringLiteral("note"),      QStringLiteral("irregularPicket") };
    return kinds;
}

bool isMarkKind(const QString &kind)
{
    return markKinds().contains(kind);
}

QString markKindText(const QString &kind)
{
    static const QStringList texts { QStringLiteral("начало отвода"), QStringLiteral("конец отвода"),
                                     QStringLiteral("стык"),          QStringLiteral("изолятор"),
                                     QStringLiteral("анкер"),         QStringLiteral("дефект"),
                                     QStringLiteral("заметка"),       QStringLiteral("нештатный пикет") };
    const int i = markKinds().indexOf(kind);
    return i >= 0 ? texts.at(i) : kind;
}

QString timeText(const QDateTime &time)
{
    // Qt::ISODate writes a local time without its offset; fixed to its own
    // offset it is written with it, and reads back as the same instant.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace RunFile
