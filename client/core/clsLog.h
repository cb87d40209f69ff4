#pragma once

#include <QFile>
#include <QString>

// Plain-text log written line by line: "date:time - text", the date with a four-digit year.
// The file is opened for each write and closed right after it; nothing is written while LogActive is off.
// The first failure shows a box titled "Error" (unless SupressErrors), later ones go to standard error;
// each sets the current error's description and none reaches the caller otherwise.
class clsLog
{
public:
    clsLog();
    ~clsLog();

    bool LogActive() const { return m_active; }
    void setLogActive(bool on) { m_active = on; }
    bool SupressErrors() const { return m_supressErrors; }
    void setSupressErrors(bool on) { m_supressErrors = on; }
    // 2: append; anything else empties the file at each open.
    int OpenMode() const { return m_openMode; }
    void setOpenMode(int mode) { m_openMode = mode; }
    qint16 FileNumber() const { return m_fileNumber; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    bool isOpen() const { return m_file.isOpen(); }

    bool OpenLog();
    // Writes an empty line pair (two line ends).
    bool WriteLine();
    bool WriteLog(const QString &text, bool noLineEnd = false);
    void CloseLog();
    QString Version() const;

    // The line WriteLog writes for text at the current moment, without its line end.
    static QString formatLine(const QString &text);

private:
    void ReportLogError(const QString &text);
    // The sentence that says why the file cannot be written, from errno right after the failure.
    QString whyNot(qint64 needed) const;

    bool m_active = false;
    bool m_supressErrors = false;
    bool m_errorShown = false;
    int m_openMode = 2;
    qint16 m_fileNumber = 0;
    QString m_fileName;
    QFile m_file;
};

// The program's one log object, created on first use.
clsLog &AppLog();
