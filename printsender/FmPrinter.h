#pragma once

#include "FaxPageWriter.h"

#include <QDateTime>
#include <QFileInfoList>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QFileSystemWatcher;
class QProcess;
class QTimer;

// A captured print job as the send window sees it: a fax TIFF and its page count.
struct CapturedDocument
{
    QString FilePath;
    int Pages = 0;
};

// The capture side of the fax printer. Once given the printer name it watches the user's spool folder
// (FaxPrinter::spoolDir()); the oldest job there is turned into a G4 fax TIFF at 204x196 dpi in the
// private temporary folder by Ghostscript (a TIFF job is taken as it is); Ghostscript is started as soon
// as the folder is watched and waits for the job, so its start-up is over when one arrives. PrintComplete
// follows; the job itself stays in the spool until releaseJob().
// One document per run: once one is captured, later jobs stay in the spool, where the user's watcher
// starts the next run for them when this one ends; none is replaced unseen. A job is claimed (a lock on
// the job file, held until the job is released or this object goes) before it is converted, so a second
// sender of the same user never takes it; a sender that finds every job taken waits (WaitingForOtherWindow)
// until one is given back, or until none is left (NothingLeftToTake). A job Ghostscript refuses is moved to keptFolder()
// (CaptureFailed) and the next one is taken; a conversion that cannot write its fax file (a full disk)
// leaves the job in the spool for the next run. A spool folder that cannot be used is told (CaptureFailed)
// and looked at again every second. Nothing here blocks: Ghostscript is a child process.
class FmPrinter : public QObject
{
    Q_OBJECT
public:
    explicit FmPrinter(QObject *parent = nullptr);
    ~FmPrinter() override;

    QString PrinterName() const { return m_printerName; }
    // Starts watching (the spool folder of this user); a job already waiting is taken at once.
    void setPrinterName(const QString &name);
    // The folder watched; FaxPrinter::spoolDir() unless set (tests).
    void setSpoolDir(const QString &dir) { m_spoolDir = dir; }
    QString spoolDir() const;

    int DocumentCount() const { return int(m_documents.size()); }
    // The newest captured document; empty when none.
    CapturedDocument Document() const;
    // Every fax file made in this run (the sender deletes them when it closes).
    QStringList capturedFiles() const;

    // The spooled job behind the captured document: deleted once the document was handed to the server or
    // the user discarded it; until then it stays in the spool for a later run.
    QString jobFile() const { return m_jobFile; }
    void releaseJob();
    // Marks the job, durably, as handed to the server now: its name gets HandedSuffix and the time, so a
    // run that ends before the server's confirmation (killed, crashed, the machine off) leaves a job the
    // next run knows the server may already hold. False (why in `error`) when the mark cannot be made.
    bool markHandedOver(QString *error);
    // When a job was last handed to the server (its mark); invalid for a job never handed over.
    static QDateTime handedOverAt(const QString &jobFile);
    static constexpr QLatin1StringView HandedSuffix{".handed-"};
    // Where jobs that cannot be converted are kept.
    static QString keptFolder();
    // The jobs of a spool folder, oldest first.
    static QFileInfoList waitingJobs(const QString &folder);
    // Why the user's spool folder cannot take print jobs, as one sentence that names it and says what to
    // do; empty when it can (one not made yet is made by the printer with the first job).
    static QString spoolProblem(const QString &folder);

    // Converts one print file into a fax TIFF (the rule above); false when it cannot start.
    bool convert(const QString &source, const QString &target);
    static bool isTiff(const QString &path);
    // The line of Ghostscript's output that tells its error (the first one naming an error, else the
    // first line), made printable and short.
    static QString firstErrorLine(const QString &output);
    static int tiffPageCount(const QString &path);

Q_SIGNALS:
    void PrintComplete();
    void CaptureFailed(const QString &message);
    // Every waiting job is held by another send window: this one waits for it to end.
    void WaitingForOtherWindow();
    // The window waited for ended and left no job behind for this one.
    void NothingLeftToTake();

private:
    // How a conversion ended.
    enum class Outcome { Done, Unreadable, CannotWrite, NoConverter };
    // Ghostscript's arguments for fax pages on its standard output (the input follows them).
    static QStringList ghostscriptArguments();
    void scan();
    void conversionDone(Outcome outcome, const QString &message);
    // Takes the job for this process: false when another one holds it or it is gone.
    bool claim(const QString &job);
    void dropClaim();
    QString newTargetFile();
    void ensureProcess();
    void prepareConverter();
    void stopWaitingConverter();
    void takePages();
    void renderingDone(bool ok);

    QString m_printerName;
    QString m_spoolDir;
    QFileSystemWatcher *m_watcher = nullptr;
    QProcess *m_gs = nullptr;
    bool m_gsWaiting = false; // Ghostscript started and waiting for a job's name
    PbmStream m_pages;        // what Ghostscript has drawn of the job
    std::unique_ptr<FaxPageWriter> m_writer;
    QTimer *m_poll = nullptr;
    QString m_rawFile;    // the spooled job being converted
    QString m_jobFile;    // the spooled job of the captured document
    QString m_targetFile; // the TIFF being made
    QString m_gsWords;    // Ghostscript's first error line on the job in hand, for the user
    QList<CapturedDocument> m_documents;
    int m_claimFd = -1; // the claimed job, locked while open
    int m_claimErrno = 0; // why the last job could not be opened to be claimed
    bool m_claimRetry = false;
    bool m_toldClaimed = false;
    QString m_toldProblem; // the spool folder's problem last told
    int m_counter = 0;
};
