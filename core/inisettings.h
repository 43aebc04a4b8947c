#ifndef INISETTINGS_H
#define INISETTINGS_H

#include <QObject>
#include <QString>
#include <QVariant>

#include <map>

class QSettings;

// The native side's copy of "tervalo.ini" in the working folder: loaded whole
// at construction, answered from memory with a table of defaults behind it,
// and written back entry by entry when the store is destroyed. The controller
// owns it. A store that loaded nothing writes nothing, so it never creates the
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
    QSettings *m_settings = nullptr;
};

#endif // INISETTINGS_H
