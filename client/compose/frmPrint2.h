#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPainter;
class QPrinter;

// The transmission report of one sent fax, laid out on the printer the caller chose. Never shown.
//
//   frmPrint2 report;
//   report.values = {QString(), dateTime, recipient, duration, pages, outcome};
//   report.valTitles = {QString(), u"Data e Ora"_s, u"Destinatario"_s, u"Durata"_s, u"Pagine Inviate"_s,
//   u"Esito"_s}; report.AutoStampa(printer);
class frmPrint2 : public QWidget
{
    Q_OBJECT
public:
    explicit frmPrint2(QWidget *parent = nullptr);

    QStringList valTitles; // index 0 not used
    QStringList values;    // index 0 not used, in the order of valTitles
    bool verticale = false;
    int num_img = 0;

    // Prints the report and ends the job. False (error reported) when the printer cannot be used.
    // The caller owns the form and drops it afterwards.
    bool AutoStampa(QPrinter *printer);
    static void ApplicaFont(QLabel *control, const QString &style);

private:
    struct Page;
    double fittedText(Page &page, const QString &text, double x, double y, double widthLimit, bool centred);
    double box(Page &page, double y0, const QStringList &titles, const QStringList &vals);

    QLabel *lblVoce = nullptr;
};
