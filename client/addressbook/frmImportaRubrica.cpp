#include "frmImportaRubrica.h"

#include "AddressImport.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "PlainToolTip.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "Recipients.h"
#include "StringTable.h"
#include "Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmImportaRubrica::frmImportaRubrica(QuorinSock *clientSock, QWidget *parent)
    : QDialog(parent), m_sock(clientSock)
{
    setObjectName(u"frmImportaRubrica"_s);
    setWindowTitle(u"Importa Rubrica"_s);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(u"Frame1"_s);
    auto *label2 = new QLabel(u"Posta elettronica"_s, Frame1);
    label2->setObjectName(u"Label2"_s);
    cboPostaElettronica = new QComboBox(Frame1);
    cboPostaElettronica->setObjectName(u"cboPostaElettronica"_s);
    auto *label1 = new QLabel(u"Percorso file da importare"_s, Frame1);
    label1->setObjectName(u"Label1"_s);
    txtPercorso = new QLineEdit(Frame1);
    txtPercorso->setObjectName(u"txtPercorso"_s);
    auto *ask = NamedButton(Frame1, u"cmdAskPercorso"_s, u"..."_s,
                            u"Consente di scegliere il percorso dove si trova la rubrica"_s);
    chkCondiviso = new QCheckBox(u"Crea contatti condivisi"_s, Frame1);
    chkCondiviso->setObjectName(u"chkCondiviso"_s);
    auto *importa =
        NamedButton(Frame1, u"cmdImporta"_s, u"&Importa"_s, u"Importa i dati dal file selezionato"_s);
    auto *annulla = NamedButton(Frame1, u"cmdAnnulla"_s, u"&Annulla"_s, u"Chiude la finestra"_s);
    auto *grid = new QGridLayout(Frame1);
    grid->addWidget(label2, 0, 0);
    grid->addWidget(cboPostaElettronica, 0, 1, 1, 2);
    grid->addWidget(label1, 1, 0);
    grid->addWidget(txtPercorso, 1, 1);
    grid->addWidget(ask, 1, 2);
    grid->addWidget(chkCondiviso, 2, 1);
    auto *row1 = new QHBoxLayout;
    row1->addStretch();
    row1->addWidget(importa);
    row1->addWidget(annulla);
    grid->addLayout(row1, 3, 0, 1, 3);

    frmContatti = new QGroupBox(u"Contatti"_s, this);
    frmContatti->setObjectName(u"frmContatti"_s);
    list_Contatti = new QTreeWidget(frmContatti);
    list_Contatti->setObjectName(u"list_Contatti"_s);
    list_Contatti->setRootIsDecorated(false);
    list_Contatti->setToolTip(u"Selezionare i contatti da importare"_s);
    auto *ok = NamedButton(frmContatti, u"cmdOk"_s, u"&Ok"_s);
    auto *annulla2 = NamedButton(frmContatti, u"cmdAnnulla2"_s, u"&Annulla"_s);
    auto *page2 = new QVBoxLayout(frmContatti);
    page2->addWidget(list_Contatti, 1);
    auto *row2 = new QHBoxLayout;
    row2->addStretch();
    row2->addWidget(ok);
    row2->addWidget(annulla2);
    page2->addLayout(row2);

    // The contacts page lies over the first one.
    m_stack = new QStackedLayout(this);
    m_stack->addWidget(Frame1);
    m_stack->addWidget(frmContatti);
    m_stack->setCurrentWidget(Frame1);

    LocalizeForm(this);
    cboPostaElettronica->addItems(AddressImport::layoutNames());
    cboPostaElettronica->setCurrentIndex(-1);
    FirstSelection(list_Contatti);
    list_Contatti->setHeaderLabels({u"Nome"_s, u"Cognome"_s, u"Via"_s, u"Cap"_s, u"Località"_s,
                                    u"Provincia"_s, u"Telefono"_s, u"Telefono2"_s, u"Fax"_s, u"Azienda"_s,
                                    u"E-mail"_s});
    const int widths[] = {1400, 1400, 1300, 1300, 1300, 1300, 1300, 1300, 1300, 1300, 2700};
    for (int i = 0; i < 11; ++i)
        list_Contatti->setColumnWidth(i, twipsX(this, widths[i]));

    connect(ask, &QPushButton::clicked, this, &frmImportaRubrica::cmdAskPercorso_Click);
    connect(importa, &QPushButton::clicked, this, &frmImportaRubrica::cmdImporta_Click);
    connect(ok, &QPushButton::clicked, this, &frmImportaRubrica::cmdOk_Click);
    connect(annulla, &QPushButton::clicked, this, &QDialog::reject);
    connect(annulla2, &QPushButton::clicked, this, &QDialog::reject);
    // A press anywhere on a row reverses its mark (the rows' boxes take no clicks of their own, so a press
    // on the box is not counted twice).
    connect(list_Contatti, &QTreeWidget::itemPressed, this, [](QTreeWidgetItem *row) {
        row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });
    // The space bar reverses the mark of the current row.
    list_Contatti->installEventFilter(this);
}

bool frmImportaRubrica::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list_Contatti && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        if (QTreeWidgetItem *row = list_Contatti->currentItem())
            row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

const QString ColumnLabels[] = {u"Nome"_s,     u"Cognome"_s,   u"Via"_s,      u"Cap"_s,
                                u"Località"_s, u"Provincia"_s, u"Telefono"_s, u"Telefono2"_s,
                                u"Fax"_s,      u"Azienda"_s,   u"E-mail"_s};

// Why the server would misread the row (a separator of the link, letters it cannot take); "" when it
// can be sent.
QString problemOfRow(const QStringList &values)
{
    for (qsizetype i = 0; i < values.size() && i < qsizetype(std::size(ColumnLabels)); ++i) {
        if (const QString p = Recipients::FieldProblem(ColumnLabels[i], values[i]); !p.isEmpty())
            return p;
    }
    return {};
}

// The letters of the row that will reach the server as their nearest Windows-1252 letters.
QString nearLettersOfRow(const QStringList &values)
{
    QList<std::pair<QString, QString>> fields;
    for (qsizetype i = 0; i < values.size() && i < qsizetype(std::size(ColumnLabels)); ++i)
        fields.append({ColumnLabels[i], values[i]});
    return Recipients::BestFitChanges(fields).replace(u"\r\n"_s, u" "_s);
}

QString rowName(int line, const QStringList &values)
{
    return u"Riga %1 (%2 %3)"_s.arg(line).arg(values.value(0).trimmed(), values.value(1).trimmed());
}

} // namespace

void frmImportaRubrica::FirstSelection(QTreeWidget *list)
{
    if (list->topLevelItemCount() == 0)
        return;
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    list->setCurrentItem(list->topLevelItem(0));
}

void frmImportaRubrica::cmdAskPercorso_Click()
{
    const QString path =
        Prompt::openFileName(this, u"Ricerca file"_s, txtPercorso->text(),
                             u"File Rubrica (*.csv);;Documento Testo (*.txt);;File Altro (*)"_s);
    if (!path.isEmpty())
        txtPercorso->setText(path);
}

void frmImportaRubrica::cmdImporta_Click()
{
    const auto layout = AddressImport::layoutFromName(cboPostaElettronica->currentText());
    if (!layout) {
        Prompt::critical(this, QString(), u"Inserire il tipo di applicazione di posta elettronica"_s);
        reject();
        return;
    }
    if (txtPercorso->text().isEmpty()) {
        Prompt::critical(this, QString(), u"Inserire il percorso del file di rubrica da importare"_s);
        return;
    }
    const AddressImport::Result result = AddressImport::readFile(txtPercorso->text(), *layout);
    list_Contatti->clear();
    QStringList unsendable, near;
    for (const AddressImport::Row &row : result.rows) {
        auto *item = new QTreeWidgetItem(list_Contatti, row.values);
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setData(0, Qt::UserRole, row.line);
        // A row the server would misread starts unticked and says why; a row whose letters change to
        // near ones stays ticked and says how, as the send dialog does.
        const QString bad = problemOfRow(row.values);
        item->setCheckState(0, bad.isEmpty() ? Qt::Checked : Qt::Unchecked);
        QString why;
        if (!bad.isEmpty()) {
            why = rowName(row.line, row.values) + u": "_s + bad;
            unsendable.append(why);
            item->setForeground(0, Qt::red);
        } else if (const QString changes = nearLettersOfRow(row.values); !changes.isEmpty()) {
            why = rowName(row.line, row.values) + u": "_s + changes;
            near.append(why);
        }
        for (int c = 0; c < list_Contatti->columnCount() && !why.isEmpty(); ++c)
            item->setToolTip(c, plainToolTip(why));
    }
    // A long list names its first lines; the whole list is in the box's detail area.
    const auto listBox = [this](QMessageBox::Icon icon, const QString &intro, const QStringList &lines) {
        Prompt::detailed(this, icon, QString(), intro + Prompt::firstItems(lines),
                         lines.size() > 10 ? lines.join(u'\n') : QString());
    };
    if (!result.errors.isEmpty())
        listBox(QMessageBox::Critical,
                result.fileRefused ? QString() : u"Alcune righe non sono state importate:\n"_s,
                result.errors);
    if (!unsendable.isEmpty())
        listBox(QMessageBox::Warning,
                u"Questi contatti non sono selezionati: il server non li riceverebbe come sono.\n"_s,
                unsendable);
    if (!near.isEmpty())
        listBox(QMessageBox::Information,
                u"Questi contatti saranno inviati con lettere vicine a quelle scritte:\n"_s, near);
    if (result.fileRefused || result.rows.isEmpty())
        return;
    FirstSelection(list_Contatti);
    m_stack->setCurrentWidget(frmContatti);
}

void frmImportaRubrica::cmdOk_Click()
{
    if (!m_sock) {
        ShowErrorMessage(ErrNumber::InvalidArgument, u"Collegamento al server non disponibile"_s,
                         u"frmImportaRubrica.cmdOk_Click"_s);
        return;
    }
    const bool shared = chkCondiviso->isChecked();
    for (int i = 0; i < list_Contatti->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = list_Contatti->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked)
            continue;
        QStringList v;
        for (int c = 0; c < AddressImport::ColumnCount; ++c)
            v.append(row->text(c));
        if (const QString bad = problemOfRow(v); !bad.isEmpty()) {
            Prompt::warning(this, QString(),
                            u"Contatto %1 %2 n: %3 non importato: %4"_s.arg(v[0], v[1]).arg(i + 1).arg(bad));
            continue;
        }
        const int r =
            m_sock->SendNewContact(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], shared);
        const QString who = v[0] + u' ' + v[1] + u" n: "_s + QString::number(i + 1);
        if (r == 0) {
            Prompt::information(this, QString(), u"Operazione conclusa correttamente"_s);
        } else if (r == -97) {
            MsgBoxEx(this, LoadResString(2080) + u"\r\n"_s + LoadResString(2081), QMessageBox::Critical);
            Prompt::information(this, QString(), u"Problema diritti .Errore sul contatto "_s + who);
        } else if (r == -1) {
            MsgBoxEx(this, LoadResString(2080), QMessageBox::Critical);
            Prompt::information(this, QString(),
                                u"Problema generico. Errore sul contatto "_s + who +
                                    u"\nIl collegamento al server non ha potuto inviare il contatto."_s);
        }
    }
    frmContatti->hide();
    accept();
}
