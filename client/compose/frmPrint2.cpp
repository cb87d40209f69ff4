#include "frmPrint2.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPrinter>

using namespace Qt::StringLiterals;

// Drawing in twips (1440 to the inch) on the printer's printable area.
struct frmPrint2::Page
{
    QPrinter *printer = nullptr;
    QPainter painter;
    double scale = 1; // device units per twip
    double W = 0, H = 0;

    double toDev(double twips) const { return twips * scale; }
    double width(const QString &text) const
    {
        return QFontMetricsF(painter.font(), printer).horizontalAdvance(text) / scale;
    }
    double height() const { return QFontMetricsF(painter.font(), printer).height() / scale; }
    void text(double x, double y, const QString &t)
    {
        const QFontMetricsF m(painter.font(), printer);
        painter.setPen(QPen(Qt::black, 0)); // rules may have left the pen grey
        painter.drawText(QPointF(toDev(x), toDev(y) + m.ascent()), t);
    }
    void line(double x1, double y1, double x2, double y2, const QColor &colour)
    {
        painter.setPen(QPen(colour, 0));
        painter.drawLine(QPointF(toDev(x1), toDev(y1)), QPointF(toDev(x2), toDev(y2)));
    }
    void fill(double x1, double y1, double x2, double y2, const QColor &colour)
    {
        painter.fillRect(QRectF(QPointF(toDev(x1), toDev(y1)), QPointF(toDev(x2), toDev(y2))), colour);
    }
    void setPointSize(int size)
    {
        QFont f = painter.font();
        f.setPointSize(size);
        painter.setFont(f);
    }
    void setBold(bool on)
    {
        QFont f = painter.font();
        f.setBold(on);
        painter.setFont(f);
    }
};

frmPrint2::frmPrint2(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"frmPrint2"_s);
    lblVoce = new QLabel(this);
    lblVoce->setObjectName(u"lblVoce"_s);
}

void frmPrint2::ApplicaFont(QLabel *control, const QString &)
{
    if (!control)
        return;
    QFont f(u"Verdana"_s, 6);
    f.setBold(true);
    control->setFont(f);
    QPalette p = control->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    control->setPalette(p);
}

namespace {

// Lines of the text within the width: one line when it fits, else pieces gathered greedily. A line
// may break after a blank or after ";" and "," (a recipient list has no blanks); a piece still wider
// than the limit is cut between characters, so nothing runs past the column.
template <typename Width> QStringList wrapLines(const QString &text, double limit, Width width)
{
    if (width(text) <= limit)
        return {text};
    QStringList pieces;
    QString piece;
    for (const QChar c : text) {
        piece += c;
        if (c == u' ' || c == u';' || c == u',') {
            pieces.append(piece);
            piece.clear();
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    QStringList lines;
    QString current;
    const auto push = [&] {
        lines.append(current.trimmed());
        current.clear();
    };
    for (const QString &p : std::as_const(pieces)) {
        if (width(QString(current + p).trimmed()) <= limit) {
            current += p;
            continue;
        }
        if (!current.trimmed().isEmpty())
            push();
        current.clear();
        if (width(p.trimmed()) <= limit) {
            current = p;
            continue;
        }
        for (const QChar c : p) { // one piece wider than the column
            if (!current.isEmpty() && width(current + c) > limit)
                push();
            current += c;
        }
    }
    if (!current.trimmed().isEmpty() || lines.isEmpty())
        push();
    return lines;
}

} // namespace

double frmPrint2::fittedText(Page &page, const QString &text, double x, double y, double widthLimit,
                             bool centred)
{
    const QStringList lines =
        wrapLines(text, widthLimit, [&page](const QString &t) { return page.width(t); });
    const double step = page.height() + 50;
    double lastY = y;
    for (const QString &line : lines) {
        const double lx = centred ? (page.W - page.width(line)) / 2 : x;
        page.text(lx, y, line);
        lastY = y;
        y += step;
    }
    return centred ? lastY : y;
}

double frmPrint2::box(Page &page, double y0, const QStringList &titles, const QStringList &vals)
{
    const double W = page.W;
    const double column = double(int(W / 2 - 1200));
    double frameTop = y0 + 200;
    double top = y0 + 240;
    const QColor grey(0xBE, 0xBE, 0xBE);
    auto drawFrame = [&](double from, double bottom) {
        page.line(1000, from, W - 1000, from, Qt::black);
        page.line(1000, from, 1000, bottom, Qt::black);
        page.line(W - 1000, from, W - 1000, bottom, Qt::black);
        page.line(1000, bottom, W - 1000, bottom, Qt::black);
        page.fill(W - 1000, from + 30, W - 950, bottom + 50, Qt::black);
        page.fill(1030, bottom, W - 950, bottom + 50, Qt::black);
        page.line(W / 2, from, W / 2, bottom, Qt::black);
    };
    const double lineStep = page.height() + 50;
    const auto wrap = [&](const QString &t) {
        return wrapLines(t, column, [&page](const QString &s) { return page.width(s); });
    };
    for (qsizetype i = 1; i < titles.size(); ++i) {
        const QStringList title = wrap(titles[i]);
        const QStringList value = wrap(vals.value(i));
        const qsizetype count = std::max(title.size(), value.size());
        // A row that would run past the bottom margin starts a new page; a row taller than what is
        // left of a page goes on there, line by line, in the box's frame on the next page.
        const double need = 100 + double(count) * lineStep;
        if (top + need > page.H - 1000 && top > frameTop + 40) {
            drawFrame(frameTop, top);
            page.printer->newPage();
            frameTop = 1000;
            top = 1040;
        }
        double y = top + 100;
        for (qsizetype k = 0; k < count; ++k) {
            if (y + lineStep > page.H - 1000 && y > frameTop + 200) {
                drawFrame(frameTop, y);
                page.printer->newPage();
                frameTop = 1000;
                y = 1100;
            }
            if (k < title.size())
                page.text(1100, y, title[k]);
            if (k < value.size())
                page.text(W / 2 + 100, y, value[k]);
            y += lineStep;
        }
        const double lower = y + 100;
        page.line(1000, lower, W - 1000, lower, grey);
        top = lower;
    }
    drawFrame(frameTop, top);
    return top;
}

bool frmPrint2::AutoStampa(QPrinter *printer)
{
    lblVoce->setText(u"Rapporto di trasmissione"_s);
    ApplicaFont(lblVoce, u"Generale"_s);
    const QStringList senderTitles = {QString(), u"Mittente"_s, u"Fax"_s, u"Telefono"_s};
    const QStringList senderValues = {QString(), ConfigIni.Company, ConfigIni.Fax, ConfigIni.Voice};

    Page page;
    page.printer = printer;
    if (!printer || !page.painter.begin(printer)) {
        ShowErrorMessage(ErrNumber::InvalidArgument, u"Stampante non disponibile"_s,
                         u"frmPrint2.AutoStampa"_s);
        return false;
    }
    page.scale = printer->resolution() / 1440.0;
    const QRectF area = printer->pageLayout().paintRectPixels(printer->resolution());
    page.W = area.width() / page.scale;
    page.H = area.height() / page.scale;

    QFont font(u"Verdana"_s, 10);
    font.setBold(true);
    page.painter.setFont(font);
    page.setPointSize(12);
    fittedText(page, lblVoce->text().toUpper(), 0, 900, page.W - 2000, true);
    page.setPointSize(10);
    double y0 = 900 + page.height() + 150;
    page.setPointSize(8);
    y0 = box(page, y0, senderTitles, senderValues);
    page.setBold(false);
    box(page, y0, valTitles, values);
    page.painter.end(); // the job goes to the printer
    return true;
}
