#include "inisettings.h"

#include <QSettings>

const QString IniSettings::JournalsPath = QStringLiteral("JournalsPath");

IniSettings::IniSettings(QObject *parent)
    : QObject(parent)
    , m_settings(new QSettings(QStringLiteral("tervalo.ini"), QSettings::IniFormat, this))
{
    const QStringList keys = m_settings->allKeys();
    for (const QString &key : keys) {
        const QVariant value = m_settings->value(key, QVariant());
        // An empty variant is how the INI format stores "no value"; such a key
        // is left in the file exactly as it stands.
        if (!value.isValid())
            continue;
        m_values.emplace(key, value);
    }
}

IniSettings::~IniSettings()
{
    // Only what this store changed goes back: the window keeps its own keys in
    // the same file while the program runs (the theme, the run's header), and
    // the values loaded at start would undo what the operator chose since.
    for (const QString &key : m_changed)
        m_settings->setValue(key, m_values[key]);
    m_values.clear();
    // m_settings, a child, writes the file when the base class destroys it.
}

QVariant IniSettings::value(const QString &key) const
{
    const auto it = m_values.find(key);
    if (it != m_values.end())
        return it->second;
    return defaultValue(key);
}

QVariant IniSettings::defaultValue(const QString &key)
{
    static const std::map<QString, QVariant> defaults = {
        { JournalsPath, QVariant(QStringLiteral("c:/")) },
    };
    const auto it = defaults.find(key);
    return it != defaults.end() ? it->second : QVariant();
}

void IniSettings::setValue(const QString &key, const QVariant &value)
{
    m_values[key] = value;
    m_changed.insert(key);
}
