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

// Each ticked id on its own: the list joins them with "<#>", so an id holding it would go out as two.
QString idProblem(const ListItemFrmForward *list, const QString &label)
{
    if (!list)
        return {};
    for (const ItemFrmForward &item : *list) {
        if (!item.IsChecked())
            continue;
        const Proto::TextVerdict v = Proto::checkPart(label, item.IdItem(), Proto::FieldSeparatorText);
        if (!v.ok())
            return v.problem;
    }
    return {};
}

} // namespace

bool QuorinSock::guardIds(const QString &request, const ListItemFrmForward *UsersList,
                          const ListItemFrmForward *GroupsList)
{
    for (const auto &[list, label] : {std::pair{GroupsList, u"Gruppi"_s}, std::pair{UsersList, u"Utenti"_s}}) {
        const QString problem = idProblem(list, label);
        if (!problem.isEmpty()) {
            RaiseErrorEvent(ErrorCode::InvalidCall, problem, 0, request + u" : "_s + label);
            return false;
        }
    }
    return true;
}

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
    if (!guardUser(u"AddNewFolder"_s, {{u"Nome cartella"_s, sNameFolder}}))
        return;
    SendMsg(typeQry, u"NEWFOLDER",
            sNameFolder + FS + QString::number(NodeKey) + FS + Proto::BoolToTF(bShared));
}

void QuorinSock::UpdateFolder(const QString &sNameFolder, int NodeKey, bool bShared)
{
    if (!guardUser(u"UpdateFolder"_s, {{u"Nome cartella"_s, sNameFolder}}))
        return;
    SendMsg(typeAns, u"UPDATEFOLDER",
            sNameFolder + FS + QString::number(NodeKey) + FS + Proto::BoolToTF(bShared));
}

void QuorinSock::DeleteFolder(const QString &sNodeKey)
{
    if (!guardUser(u"DeleteFolder"_s, {{u"Cartella"_s, sNodeKey}}))
        return;
    SendMsg(typeAns, u"ELIMINAFOLDER", sNodeKey);
}

void QuorinSock::CancelFolder(const QString &sNodeKey)
{
    if (!guardUser(u"CancelFolder"_s, {{u"Cartella"_s, sNodeKey}}))
        return;
    SendMsg(typeAns, u"CESTINAFOLDER", sNodeKey);
}

void QuorinSock::RenameFolder(const QString &sNewName, const QString &sNodeKey)
{
    if (!guardUser(u"RenameFolder"_s, {{u"Nome cartella"_s, sNewName}, {u"Cartella"_s, sNodeKey}}))
        return;
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
    if (!guardUser(u"AskFax"_s, {{u"Fax"_s, PrevKey}}))
        return;
    SendMsg(typeQry, u"FILE", m_activeKeyword + FS + PrevKey);
}

void QuorinSock::DeleteFax(int CurrTreeID)
{
    if (!guardParts(u"DeleteFax"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeAns, u"ELIMINA", QString::number(CurrTreeID) + FS + keyList());
}

void QuorinSock::CancelFax(const QString &sCancelList)
{
    if (!guardParts(u"CancelFax"_s, Proto::FieldSeparatorText, {{u"Fax"_s, sCancelList}}))
        return;
    SendMsg(typeAns, u"CESTINA", m_activeKeyword + FS + sCancelList);
}

void QuorinSock::RestoreFax(int CurrTreeID, const QString &sRestoreList)
{
    if (!guardParts(u"RestoreFax"_s, Proto::FieldSeparatorText, {{u"Fax"_s, sRestoreList}}))
        return;
    SendMsg(typeAns, u"RIPRISTINA", QString::number(CurrTreeID) + FS + sRestoreList);
}

void QuorinSock::SetReadSelected(bool bRead)
{
    if (!guardParts(u"SetReadSelected"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeAns, u"LETTO", m_activeKeyword + FS + keyList() + FS + Proto::BoolToTrueFalse(bRead));
}

void QuorinSock::SetPrintedSelected(bool bRead)
{
    if (!guardParts(u"SetPrintedSelected"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeAns, u"STAMPATO", m_activeKeyword + FS + keyList() + FS + Proto::BoolToTrueFalse(bRead));
}

void QuorinSock::MoveSelectedToFolder(int CurrTreeID, int DestFolderKey, bool GoToDeletedFolder)
{
    if (!guardParts(u"MoveSelectedToFolder"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeAns, u"SPOSTA",
            m_activeKeyword + FS + QString::number(DestFolderKey) + FS + Proto::BoolToTF(GoToDeletedFolder) +
                FS + QString::number(CurrTreeID) + FS + keyList());
}

void QuorinSock::AskFormForward(const QString &KeyFax)
{
    if (!guardUser(u"AskFormForward"_s, {{u"Fax"_s, KeyFax}}))
        return;
    m_forwardGroups.reset(); // groups of an earlier form must not join this one's users
    SendMsg(typeQry, u"FRM_INOLTRO", bracketed(KeyFax));
}

void QuorinSock::AskFormForwardSelected()
{
    if (!guardParts(u"AskFormForwardSelected"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    m_forwardGroups.reset();
    SendMsg(typeQry, u"FRM_INOLTRO", keyList());
}

void QuorinSock::ForwardGroupsUsers(const QString &KeyFax, const ListItemFrmForward *UsersList,
                                    const ListItemFrmForward *GroupsList)
{
    if (!guardIds(u"ForwardGroupsUsers"_s, UsersList, GroupsList))
        return;
    if (!guardUser(u"ForwardGroupsUsers"_s, {{u"Fax"_s, KeyFax}}) ||
        !guardParts(u"ForwardGroupsUsers"_s, RS, {{u"Gruppi"_s, checked(GroupsList)}, {u"Utenti"_s, checked(UsersList)}}))
        return;
    SendMsg(typeAns, u"FRM_INOLTRO_OK",
            m_activeKeyword + RS + bracketed(KeyFax) + RS + checked(GroupsList) + RS + checked(UsersList));
}

void QuorinSock::ForwardGroupsUsersSelectedFaxes(const ListItemFrmForward *UsersList,
                                                 const ListItemFrmForward *GroupsList)
{
    if (!guardIds(u"ForwardGroupsUsersSelectedFaxes"_s, UsersList, GroupsList))
        return;
    if (!guardParts(u"ForwardGroupsUsersSelectedFaxes"_s, RS,
                    {{u"Fax selezionati"_s, keyList()}, {u"Gruppi"_s, checked(GroupsList)},
                     {u"Utenti"_s, checked(UsersList)}}))
        return;
    SendMsg(typeAns, u"FRM_INOLTRO_OK",
            m_activeKeyword + RS + keyList() + RS + checked(GroupsList) + RS + checked(UsersList));
}

void QuorinSock::GetProperties(const QString &KeyFax)
{
    if (!guardUser(u"GetProperties"_s, {{u"Fax"_s, KeyFax}}))
        return;
    SendMsg(typeQry, u"GETINFO", m_activeKeyword + FS + bracketed(KeyFax));
}

void QuorinSock::GetPropertiesSelected()
{
    if (!guardParts(u"GetPropertiesSelected"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeQry, u"GETINFO", m_activeKeyword + FS + keyList());
}

void QuorinSock::GetReport(const QString &KeyFax)
{
    if (!guardUser(u"GetReport"_s, {{u"Fax"_s, KeyFax}}))
        return;
    SendMsg(typeQry, u"GETREPORT", m_activeKeyword + FS + bracketed(KeyFax));
}

void QuorinSock::GetReportSelected()
{
    if (!guardParts(u"GetReportSelected"_s, Proto::FieldSeparatorText, {{u"Fax selezionati"_s, keyList()}}))
        return;
    SendMsg(typeQry, u"GETREPORT", m_activeKeyword + FS + keyList());
}

void QuorinSock::UpdateFiles()
{
    m_watchdog->stop();
    SendMsg(typeQry, u"UPDATEFILES", QString());
}

QString QuorinSock::SendNewFax(std::unique_ptr<faxOut> ObjFax)
{
    watchUpload();
    return m_upload->handOver(std::move(ObjFax), Proto::FaxCodeSend);
}

QString QuorinSock::SaveFaxToRX(std::unique_ptr<faxOut> ObjFax)
{
    watchUpload();
    return m_upload->handOver(std::move(ObjFax), Proto::FaxCodeReceived);
}

QString QuorinSock::SendUpdateFile(const QString &sFileName, const QString &KeyFax)
{
    if (!guardUser(u"SendUpdateFile"_s, {{u"File"_s, sFileName}, {u"Fax"_s, KeyFax}}))
        return u"-1"_s;
    watchUpload();
    return m_upload->sendUpdateFile(sFileName, KeyFax, m_activeKeyword);
}

void QuorinSock::SendUpdateTmpFile(const QString &IdFax)
{
    if (LinkUtils::FileExists(m_nameTempFile))
        SendUpdateFile(m_nameTempFile, IdFax);
}
