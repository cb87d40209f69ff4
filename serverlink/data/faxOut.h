#pragma once

#include "Protocol.h"

#include <QString>
#include <QStringList>

// An outgoing fax. The sending window creates and fills it; once handed to the control, the control
// owns it (send queue), sets status, KeyFax, MsgCampi and walks its files during the upload.
class faxOut
{
public:
    void setStatus(statusCommand v) { m_status = v; }
    statusCommand status() const { return m_status; }
    void setMsgCampi(const QString &v) { m_MsgCampi = v; }
    QString MsgCampi() const { return m_MsgCampi; }

    // Stores the text and appends each non-empty "+"-separated piece to Files; idxFileSending becomes -1.
    void setAllFaxFiles(const QString &v);
    QString AllFaxFiles() const { return m_AllFaxFiles; }
    void setFiles(const QStringList &v) { m_Files = v; }
    const QStringList &Files() const { return m_Files; }

    void setIdxFileSending(qint16 v) { m_idxFileSending = v; }
    qint16 idxFileSending() const { return m_idxFileSending; }
    // Advances to the next file: the documents in order, then the cover page once, then "".
    // isCover becomes true only when the cover page is returned.
    QString NextFiletoSend(bool &isCover);
    void setTransferBytesSent(qint32 v) { m_transferBytesSent = v; }
    qint32 transferBytesSent() const { return m_transferBytesSent; }
    void setTransferTotalBytes(qint32 v) { m_transferTotalBytes = v; }
    qint32 transferTotalBytes() const { return m_transferTotalBytes; }
    // The file at idxFileSending, the cover page right after the documents, else "".
    QString FileSending() const;

    void setKeyFax(const QString &v) { m_KeyFax = v; }
    QString KeyFax() const { return m_KeyFax; }
    void setUser(qint32 v) { m_user = v; }
    qint32 user() const { return m_user; }
    void setAppName(const QString &v) { m_AppName = v; }
    QString AppName() const { return m_AppName; }
    void setSendRes(const QString &v) { m_SendRes = v; }
    QString SendRes() const { return m_SendRes; }
    void setRetries(qint16 v) { m_Retries = v; }
    qint16 Retries() const { return m_Retries; }
    void setRetryDelay(qint16 v) { m_RetryDelay = v; }
    qint16 RetryDelay() const { return m_RetryDelay; }
    void setSendDate(const QString &v) { m_SendDate = v; }
    QString SendDate() const { return m_SendDate; }
    void setSendTime(const QString &v) { m_SendTime = v; }
    QString SendTime() const { return m_SendTime; }
    void setFromLine(const QString &v) { m_FromLine = v; }
    QString FromLine() const { return m_FromLine; }
    void setFromComp(const QString &v) { m_FromComp = v; }
    QString FromComp() const { return m_FromComp; }
    void setFromPhon(const QString &v) { m_FromPhon = v; }
    QString FromPhon() const { return m_FromPhon; }
    void setFromFax(const QString &v) { m_FromFax = v; }
    QString FromFax() const { return m_FromFax; }
    void setDestName(const QString &v) { m_DestName = v; }
    QString DestName() const { return m_DestName; }
    void setToCompany(const QString &v) { m_ToCompany = v; }
    QString ToCompany() const { return m_ToCompany; }
    void setDestFax(const QString &v) { m_DestFax = v; }
    QString DestFax() const { return m_DestFax; }
    void setSubject(const QString &v) { m_Subject = v; }
    QString Subject() const { return m_Subject; }
    void setF_Extra(const QString &v) { m_F_Extra = v; }
    QString F_Extra() const { return m_F_Extra; }
    void setCoverPage(const QString &v) { m_CoverPage = v; }
    QString CoverPage() const { return m_CoverPage; }
    void setSentDate(const QString &v) { m_SentDate = v; }
    QString SentDate() const { return m_SentDate; }
    void setSentTime(const QString &v) { m_SentTime = v; }
    QString SentTime() const { return m_SentTime; }
    void setRemoteID(const QString &v) { m_RemoteID = v; }
    QString RemoteID() const { return m_RemoteID; }
    void setTotalPages(qint16 v) { m_TotalPages = v; }
    qint16 TotalPages() const { return m_TotalPages; }
    void setStatusFax(const QString &v) { m_StatusFax = v; }
    QString StatusFax() const { return m_StatusFax; }
    void setRead(bool v) { m_Read = v; }
    bool Read() const { return m_Read; }

private:
    statusCommand m_status = stOK;
    QString m_MsgCampi, m_AllFaxFiles;
    QStringList m_Files;
    qint16 m_idxFileSending = 0;
    qint32 m_transferBytesSent = 0, m_transferTotalBytes = 0;
    QString m_KeyFax;
    qint32 m_user = 0;
    QString m_AppName, m_SendRes;
    qint16 m_Retries = 0, m_RetryDelay = 0;
    QString m_SendDate, m_SendTime, m_FromLine, m_FromComp, m_FromPhon, m_FromFax, m_DestName, m_ToCompany,
        m_DestFax, m_Subject, m_F_Extra, m_CoverPage, m_SentDate, m_SentTime, m_RemoteID;
    qint16 m_TotalPages = 0;
    QString m_StatusFax;
    bool m_Read = false;
    bool m_coverSent = false;
};

namespace Proto {

inline constexpr qint16 FaxCodeSend = 255;   // SendNewFax
inline constexpr qint16 FaxCodeReceived = 4; // SaveFaxToRX

// The field block MsgCampi: 29 fields joined by "<¿>", each as it goes out (composed, fitted).
QString BuildFaxFields(const faxOut &fax, qint16 code);

// Names of the fields whose value (as it goes out, after the best fit) holds a separator that would shift the block or the frame
// or would split the server's records later ("<¿>", "<#>", "<§>", "<¥>", "<¶>", "<ÌÌ>", "¦"); empty when
// the fax is safe to send.
QStringList unsafeFaxFields(const faxOut &fax);

// The link's verdict on a fax, the one every form and runner asks before handing a fax over: each text
// field is checked as it will go out (composed, fitted to Windows-1252), so a letter the fit turns into
// "<" or ">" cannot complete a separator. `field` is the property name, `problem` the message naming the
// field as the forms do; both empty when the fax can be sent.
struct FaxVerdict
{
    QString field;
    QString problem;
    bool ok() const { return problem.isEmpty(); }
};
FaxVerdict checkFax(const faxOut &fax);

// The message refusing the first field holding characters that Windows-1252 can neither hold nor fit
// (CJK, emoji); empty when every field can be sent. Fitted letters (Ł→L) are sent without a word here:
// the forms warn about them before the fax is handed over.
QString unsendableFaxText(const faxOut &fax);

} // namespace Proto
