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
    // Binds the command line (the program and its arguments) to the user's spool folder through the user
    // units, and creates the queue on the backend with the PPD unless it exists (an existing queue is
    // given the fit-to-page default when it lacks it); answers with installFinished. The queue is the
    // result: a watcher that systemd cannot take, or a fit default that may not be set, is only noted
    // (watcherError(), fitError()).
    void install(const QString &commandLine, const QString &ppd, bool queueExists);
    // Whether the last install failed at creating the queue (rights).
    bool queueFailed() const { return m_queueFailed; }
    // Why the last install could not start the user's watcher (no systemd user session); empty when it did.
    QString watcherError() const { return m_watcherError; }
    // Why the existing queue could not be given the fit-to-page default (rights); empty when it has it.
    QString fitError() const { return m_fitError; }
    bool busy() const { return m_running; }
    // What went wrong in the last install, for the log.
    QString lastError() const { return m_lastError; }

    // $QUORIN_SPOOL_DIR or /var/spool/quorin; the user's folder below it.
    static QString spoolRoot();
    static QString spoolDir();
    // A job the backend cancelled because nothing of it could be read leaves a note in the user's spool
    // folder (".unreadable-<job>": the time it was printed in seconds since the epoch, then its title).
    // takeCancelledNotice() reads every note, removes them and returns what to tell the user; empty when
    // there is none.
    static QString noticeFilePrefix() { return QStringLiteral(".unreadable-"); }
    static QString takeCancelledNotice();
    // The send window converts a printed job into "QVPRINT-<pid>-….tif" in the private temporary folder
    // and removes it when it ends; a window that was killed cannot. Removes those whose process no longer
    // runs; returns how many.
    static int removeOrphanedConversions();
    // $XDG_CONFIG_HOME/systemd/user
    static QString unitDir();
    static QString pathUnitName() { return QStringLiteral("quorin-fax.path"); }
    static QString serviceUnitName() { return QStringLiteral("quorin-fax.service"); }
    static QString pathUnitText(const QString &spoolFolder);
    static QString serviceUnitText(const QString &commandLine);
    // The lpadmin arguments that create the queue with the PPD. The queue fits every page into the
    // printable area: without it a full-page PDF or PostScript page keeps its ink on the page's edge.
    static QStringList lpadminArguments(const QString &name, const QString &ppd);
    static QStringList fitArguments(const QString &name);
    // Whether lpoptions' words for the queue hold the fit-to-page default.
    static bool fitsPages(const QString &lpoptionsOutput);
    // The installed backend ($QUORIN_CUPS_SERVERBIN or CUPS's usual folders, "backend/quorin"); empty
    // when missing. expectedBackendPath() is where it belongs.
    static QString backendPath();
    static QString expectedBackendPath();
    // The queue's PPD ($QUORIN_PPD, beside the programs in ../share/quorin, or the usual data folders).
    static QString ppdPath(const QString &programDir);
    // A CUPS or systemd tool: found on PATH, else in the administrator's folders (/usr/sbin, /sbin),
    // which an ordinary user's PATH often lacks. Empty when missing.
    static QString findTool(const QString &name);
    // What an administrator runs to put the backend in place, and to create the queue.
    static QString backendRepairCommand(const QString &programDir);
    QString queueCommand(const QString &ppd) const;
    QString fitCommand() const;

Q_SIGNALS:
    void installedChecked(bool installed);
    void installFinished(bool ok);

private:
    struct Step
    {
        QString program;
        QStringList arguments;
        // A step whose failure is noted and does not stop the next ones; then() is given its success and
        // its output.
        bool optional = false;
        std::function<void(bool ok, const QString &output)> then = nullptr;
    };
    void runSteps(QList<Step> steps, std::function<void(bool ok)> done);
    void runNext();
    bool writeUnits(const QString &commandLine);

    QString m_name = QStringLiteral("QuorinPrinter");
    QProcess *m_process = nullptr;
    QList<Step> m_steps;
    std::function<void(bool)> m_done;
    bool m_running = false;
    bool m_queueFailed = false;
    QString m_lastError, m_watcherError, m_fitError;
};
