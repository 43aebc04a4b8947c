#ifndef INISETTINGS_H
#define INISETTINGS_H

#include <QObject>
#include <QString>
#include <QVariant>

#include <map>
#include <set>

class QSettings;

// The native side's copy of "tervalo.ini" in the working folder: loaded whole
// at construction, answered from memory with a table of defaults behind it;
// the entries set through it are written back when the store is destroyed,
// and every other key is left as the file holds it then. The controller owns
// it. A store that changed nothing writes nothing, so it never creates the
// file.
class IniSettings : public QObject
{
    Q_OBJECT

public:
    static const QString JournalsPath;

    explicit IniSettings(QObject *parent);
    ~IniSettings() override;

    QVariant value(const QString &key) const;
    static QVariant defaultValue(const QString &key);
    void setValue(const QString &key, const QVariant &value);

private:
    std::map<QString, QVariant> m_values;
    std::set<QString> m_changed;
    QSettings *m_settings = nullptr;
};

#endif // INISETTINGS_H
