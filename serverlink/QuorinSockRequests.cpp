// Requests on folders, faxes, forwarding, properties and reports.
#include "QuorinSock.h"

#include "UploadDriver.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString FS = u"<#>"_s;
const QString RS = u"<\u00CC\u00CC>"_s;

// "(key)" with blanks trimmed; a key that already carries its brackets keeps them, once.
QString bracketed(const QString &key)
{
    const QString k = key.trimmed();
    if (k.size() >= 2 && k.startsWith(u'(') && k.endsWith(u')'))
        return k;
    return u"("_s + k + u")"_s;
}

QString checked(const ListItemFrmForward *list)
{
    return list ? list->checkedIds() : QString();
}

} // namespace

QString QuorinSock::keyList()
{
    return FaxesSelected()->keyList();
}

void QuorinSock::ChildrenTree()
{
    // The forward folder (3) only for users with the forward right.
    for (const QStringView root :
         {QStringView(u"1"), QStringView(u"2"), QStringView(u"3"), QStringView(u"4")}) {
        if (root == u"3" && !m_isForwardUser)
            continue;
        SendMsg(typeQry, u"CHILDRENTREE", root.toString());
    }
}

void QuorinSock::AddNewFolder(const QString &sNameFolder, int NodeKey, bool bShared)
{
    SendMsg(typeQry, u"NEWFOLDER",
            sNameFolder + FS + QString::number(NodeKey) + FS + Proto::BoolToTF(bShared));
}

void QuorinSock::UpdateFolder(const QString &sNameFolder, int NodeKey, bool bShared)
{
    SendMsg(typeAns, u"UPDATEFOLDER",
            sNameFolder + FS + QString::number(NodeKey) + FS + Proto::BoolToTF(bShared));
}

void QuorinSock::DeleteFolder(const QString &sNodeKey)
{
    SendMsg(typeAns, u"ELIMINAFOLDER", sNodeKey);
}

void QuorinSock::CancelFolder(const QString &sNodeKey)
{
    SendMsg(typeAns, u"CESTINAFOLDER", sNodeKey);
}

void QuorinSock::RenameFolder(const QString &sNewName, const QString &sNodeKey)
{
    SendMsg(typeAns, u"RENAMEFOLDER", sNewName + FS + sNodeKey);
}

void QuorinSock::MoveFolderToFolder(int StartFolderKey, int DestFolderKey, bool GoToDeletedFolder,
                                    bool WasInDeletedFolder)
{
    SendMsg(typeAns, u"SPOSTAFOLDER",
            QString::number(DestFolderKey) + FS + QString::number(StartFolderKey) + FS +
                Proto::BoolToTrueFalse(GoToDeletedFolder) + FS + Proto::BoolToTrueFalse(WasInDeletedFolder));
}

void QuorinSock::AskFax(const QString &PrevKey)
{
    SendMsg(typeQry, u"FILE", m_activeKeyword + FS + PrevKey);
}

void QuorinSock::DeleteFax(int CurrTreeID)
{
    SendMsg(typeAns, u"ELIMINA", QString::number(CurrTreeID) + FS + keyList());
}

void QuorinSock::CancelFax(const QString &sCancelList)
{
    SendMsg(typeAns, u"CESTINA", m_activeKeyword + FS + sCancelList);
}

void QuorinSock::RestoreFax(int CurrTreeID, const QString &sRestoreList)
{
    SendMsg(typeAns, u"RIPRISTINA", QString::number(CurrTreeID) + FS + sRestoreList);
}

void QuorinSock::SetReadSelected(bool bRead)
{
    SendMsg(typeAns, u"LETTO", m_activeKeyword + FS + keyList() + FS + Proto::BoolToTrueFalse(bRead));
}

void QuorinSock::SetPrintedSelected(bool bRead)
{
    SendMsg(typeAns, u"STAMPATO", m_activeKeyword + FS + keyList() + FS + Proto::BoolToTrueFalse(bRead));
}

void QuorinSock::MoveSelectedToFolder(int CurrTreeID, int DestFolderKey, bool GoToDeletedFolder)
{
    SendMsg(typeAns, u"SPOSTA",
            m_activeKeyword + FS + QString::number(DestFolderKey) + FS + Proto::BoolToTF(GoToDeletedFolder) +
                FS + QString::number(CurrTreeID) + FS + keyList());
}

void QuorinSock::AskFormForward(const QString &KeyFax)
{
    SendMsg(typeQry, u"FRM_INOLTRO", bracketed(KeyFax));
}

void QuorinSock::AskFormForwardSelected()
{
    SendMsg(typeQry, u"FRM_INOLTRO", keyList());
}

void QuorinSock::ForwardGroupsUsers(const QString &KeyFax, const ListItemFrmForward *UsersList,
                                    const ListItemFrmForward *GroupsList)
{
    SendMsg(typeAns, u"FRM_INOLTRO_OK",
            m_activeKeyword + RS + bracketed(KeyFax) + RS + checked(GroupsList) + RS + checked(UsersList));
}

void QuorinSock::ForwardGroupsUsersSelectedFaxes(const ListItemFrmForward *UsersList,
                                                 const ListItemFrmForward *GroupsList)
{
    SendMsg(typeAns, u"FRM_INOLTRO_OK",
            m_activeKeyword + RS + keyList() + RS + checked(GroupsList) + RS + checked(UsersList));
}

void QuorinSock::GetProperties(const QString &KeyFax)
{
    SendMsg(typeQry, u"GETINFO", m_activeKeyword + FS + bracketed(KeyFax));
}

void QuorinSock::GetPropertiesSelected()
{
    SendMsg(typeQry, u"GETINFO", m_activeKeyword + FS + keyList());
}

void QuorinSock::GetReport(const QString &KeyFax)
{
    SendMsg(typeQry, u"GETREPORT", m_activeKeyword + FS + bracketed(KeyFax));
}

void QuorinSock::GetReportSelected()
{
    SendMsg(typeQry, u"GETREPORT", m_activeKeyword + FS + keyList());
}

void QuorinSock::UpdateFiles()
{
    m_watchdog->stop();
    SendMsg(typeQry, u"UPDATEFILES", QString());
}

QString QuorinSock::SendNewFax(std::unique_ptr<faxOut> ObjFax)
{
    return m_upload->handOver(std::move(ObjFax), Proto::FaxCodeSend);
}

QString QuorinSock::SaveFaxToRX(std::unique_ptr<faxOut> ObjFax)
{
    return m_upload->handOver(std::move(ObjFax), Proto::FaxCodeReceived);
}

QString QuorinSock::SendUpdateFile(const QString &sFileName, const QString &KeyFax)
{
    return m_upload->sendUpdateFile(sFileName, KeyFax, m_activeKeyword);
}

void QuorinSock::SendUpdateTmpFile(const QString &IdFax)
{
    if (LinkUtils::FileExists(m_nameTempFile))
        SendUpdateFile(m_nameTempFile, IdFax);
}
