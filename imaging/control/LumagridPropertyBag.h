#pragma once

#include <QString>
#include <QVariant>

class QSettings;

// The host's store of a control's settings: named values, each written with its default. A store
// keeps only values that differ from their default; a key it does not hold reads as its default.
class LumagridPropertyBag
{
public:
    virtual ~LumagridPropertyBag() = default;
    virtual QVariant ReadProperty(const QString &name, const QVariant &defaultValue) = 0;
    virtual void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue) = 0;
};

// The store of a control placed on a form with its design-time defaults: every key reads as its
// default, nothing is kept. Hosts read it at creation, so the control starts with the defaults
// of a stored control (JPGQuality 75, the strip shown, ...).
class LumagridDefaultsBag : public LumagridPropertyBag
{
public:
    QVariant ReadProperty(const QString &, const QVariant &defaultValue) override { return defaultValue; }
    void WriteProperty(const QString &, const QVariant &, const QVariant &) override {}
};

// A property bag over a QSettings group (the host's own settings file or form settings). Objects
// that cannot live in a settings file (hyperlink, data members, controls) are not stored.
class LumagridSettingsBag : public LumagridPropertyBag
{
public:
    LumagridSettingsBag(QSettings &settings, const QString &group);
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) override;
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue) override;

private:
    QSettings &m_settings;
    QString m_group;
};
