#include "FaxJob.h"

#include "Recipients.h"
#include "SendoraConfig.h"
#include "XmlReader.h"
#include "faxOut.h"

using namespace Qt::StringLiterals;

namespace Sendora {

namespace {

QString trimSpaces(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b) == u' ')
        ++b;
    while (e > b && text.at(e - 1) == u' ')
        --e;
    return text.mid(b, e - b);
}

} // namespace

bool FormatDate(const QString &text, QString &out)
{
    bool ok = false;
    out = Recipients::TrasformaData(text.trimmed(), &ok);
    return ok;
}

bool FormatTime(const QString &text, QString &out)
{
    bool ok = false;
    out = Recipients::TrasformaOra(text.trimmed(), &ok);
    return ok;
}

std::unique_ptr<faxOut> FaxFromJob(const clsXMLNode &fax, const FaxJobDefaults &defaults, QString &error)
{
    auto out = std::make_unique<faxOut>();
    out->setUser(0);
    out->setAppName(u"Sendora"_s);
    out->setSendRes(defaults.SendRes);
    qint16 number = 0;
    if (!ToInteger16(defaults.DelayRetries, number)) {
        error = u"DelayRetries non numerico: "_s + defaults.DelayRetries;
        return nullptr;
    }
    out->setRetryDelay(number);
    QString text;
    if (!FormatDate(defaults.SendDate, text)) {
        error = u"Data non valida: "_s + defaults.SendDate;
        return nullptr;
    }
    out->setSendDate(text);
    if (!FormatTime(defaults.SendTime, text)) {
        error = u"Ora non valida: "_s + defaults.SendTime;
        return nullptr;
    }
    out->setSendTime(text);
    out->setFromLine(defaults.FromLine);
    out->setFromComp(defaults.FromComp);
    out->setFromPhon(defaults.FromPhon);
    out->setFromFax(defaults.FromFax);

    QString files; // set once: each setAllFaxFiles call adds to the file list
    for (qsizetype i = 1; i <= fax.ChildrenCount(); ++i) {
        const clsXMLNode *child = fax.enumChild(i);
        const QString name = child->Name();
        const QString value = trimSpaces(child->Text());
        if (value.isEmpty())
            continue;
        if (name == u"faxfilename") {
            files = value;
        } else if (name == u"object") {
            out->setSubject(value);
        } else if (name == u"appname") {
            out->setAppName(value);
        } else if (name == u"retries" || name == u"delayretries") {
            if (!ToInteger16(value, number)) {
                error = u"Valore non valido per "_s + name + u": "_s + value;
                return nullptr;
            }
            if (name == u"retries")
                out->setRetries(number);
            else
                out->setRetryDelay(number);
        } else if (name == u"senddate") {
            if (!FormatDate(value, text)) {
                error = u"Data non valida: "_s + value;
                return nullptr;
            }
            out->setSendDate(text);
        } else if (name == u"sendtime") {
            if (!FormatTime(value, text)) {
                error = u"Ora non valida: "_s + value;
                return nullptr;
            }
            out->setSendTime(text);
        } else if (name == u"fromline") {
            out->setFromLine(value);
        } else if (name == u"fromcomp") {
            out->setFromComp(value);
        } else if (name == u"fromphon") {
            out->setFromPhon(value);
        } else if (name == u"fromfax") {
            out->setFromFax(value);
        } else if (name == u"destname") {
            out->setDestName(value);
        } else if (name == u"tocompany") {
            out->setToCompany(value);
        } else if (name == u"destfax") {
            out->setDestFax(value);
        } else if (name == u"note") {
            out->setF_Extra(value);
        } else if (name == u"coverpage") {
            out->setCoverPage(value);
        }
    }
    if (!files.isEmpty())
        out->setAllFaxFiles(files);
    return out;
}

} // namespace Sendora
