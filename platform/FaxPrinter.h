#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

// The fax printer on Linux: a CUPS queue on the backend "quorin:/" that spools each job into the user's
// folder (spoolDir()), and a systemd user path unit that starts the sender for each job in the session.
// Installing runs outside commands found on PATH (lpstat, lpadmin, systemctl), one after the other,
// without blocking; tests put recording stand-ins first on PATH.
class FaxPrinter : public QObject
{
    Q_OBJECT
public:
    explicit FaxPrinter(QObject *parent = nullptr);
    ~FaxPrinter() override;

    QString PrinterName() const { return m_name; }
    void setPrinterName(const QString &name) { m_name = name; }

    // Asks CUPS whether the printer exists ("lpstat -p NAME"); answers with installedChecked.
    void checkInstalled();
    // Creates the queue for the backend and binds it to the command line (the program and its arguments)
    // through the user units; answers with installFinished.
    void install(const QString &commandLine);
    bool busy() const { return m_running; }
    // What went wrong in the last install, for the log.
    QString lastError() const { return m_lastError; }

    // $QUORIN_SPOOL_DIR or /var/spool/quorin; the user's folder below it.
    static QString spoolRoot();
    static QString spoolDir();
    // $XDG_CONFIG_HOME/systemd/user
    static QString unitDir();
    static QString pathUnitName() { return QStringLiteral("quorin-fax.path"); }
    static QString serviceUnitName() { return QStringLiteral("quorin-fax.service"); }
    static QString pathUnitText(const QString &spoolFolder);
    static QString serviceUnitText(const QString &commandLine);
    // The lpadmin arguments that create the queue.
    static QStringList lpadminArguments(const QString &name);

Q_SIGNALS:
    void installedChecked(bool installed);
    void installFinished(bool ok);

private:
    struct Step
    {
        QString program;
        QStringList arguments;
    };
    void runSteps(QList<Step> steps, std::function<void(bool ok)> done);
    void runNext();
    bool writeUnits(const QString &commandLine);

    QString m_name = QStringLiteral("QuorinPrinter");
    QProcess *m_process = nullptr;
    QList<Step> m_steps;
    std::function<void(bool)> m_done;
    bool m_running = false;
    QString m_lastError;
};
