#include "../compose/ComposeRig.h"
#include "ProfileFile.h"
#include "RUBfrmConfRub.h"
#include "RUBfrmRubrica.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

namespace {

LocalContact contact(const QString &name, const QString &mail, const QString &fax, const QString &home,
                     const QString &company)
{
    LocalContact c;
    c.displayName = name;
    c.email = mail;
    c.businessFax = fax;
    c.homeFax = home;
    c.company = company;
    return c;
}

void writeBook(const QList<LocalContact> &contacts)
{
    LocalAddressBook book;
    QFile::remove(book.path());
    for (const LocalContact &c : contacts)
        book.add(c);
    QVERIFY(book.save());
}

void pickRow(RUBfrmRubrica &form, int row)
{
    auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
    list->setCurrentRow(row);
    form.cmdA_Click();
}

} // namespace

class TestLocalBook : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }
    void init()
    {
        resetConfig(m_home);
        Prompt::setDialogHandler({});
        writeBook({contact(u"Daviv Azivo"_s, u"d@a.it"_s, u"021111"_s, QString(), QString()),
                   contact(u"Viverov Aroz"_s, QString(), u"022222"_s, u"033333"_s, u"Beta"_s),
                   contact(u"Solo Mail"_s, u"s@m.it"_s, QString(), QString(), u"Gamma"_s)});
    }

    void pick_data()
    {
        QTest::addColumn<int>("openMode");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QList<int>>("hiddenColumns");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("collected");
        QTest::newRow("business fax")
            << 2 << u"RUBRICA [ 3 contatti ] / Fax ufficio"_s << QList<int>{1, 3} << u"021111;022222"_s
            << QStringList{u"021111"_s, u"022222"_s, QString()};
        QTest::newRow("home fax") << 3 << u"RUBRICA [ 3 contatti ] / Fax casa"_s << QList<int>{1, 2}
                                  << u"033333"_s << QStringList{QString(), u"033333"_s, QString()};
        QTest::newRow("e-mail") << 1 << u"RUBRICA [ 3 contatti ] / Email"_s << QList<int>{2, 3}
                                << u"d@a.it;s@m.it"_s << QStringList{u"d@a.it"_s, QString(), u"s@m.it"_s};
    }
    void pick()
    {
        QFETCH(int, openMode);
        QFETCH(QList<int>, hiddenColumns);
        QFETCH(QStringList, collected);
        RUBfrmRubrica form;
        form.setOpenMode(openMode);
        form.setShowing(1);
        form.Load();
        QTEST(form.windowTitle(), "caption");
        auto *chosen = form.findChild<QTreeWidget *>(u"ListSelected"_s);
        for (int c = 0; c < 5; ++c)
            QCOMPARE(chosen->isColumnHidden(c), hiddenColumns.contains(c));
        pickRow(form, 0);
        pickRow(form, 0); // the same name once
        pickRow(form, 1);
        pickRow(form, 2);
        QCOMPARE(chosen->topLevelItemCount(), 3);
        form.CmdOk_Click();
        QVERIFY(form.ok());
        QTEST(form.Result(), "result");
        const PickedList picked = form.Selected();
        QCOMPARE(picked.size(), 3);
        QCOMPARE(picked[1].name, u"Viverov Aroz"_s);
        QCOMPARE(picked[1].company, u"Beta"_s);
        QCOMPARE((QStringList{picked[0].fax, picked[1].fax, picked[2].fax}), collected);
    }

    void emptySelectionIsNoPick()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.setShowing(1);
        form.Load();
        form.CmdOk_Click();
        QVERIFY(!form.ok());
    }

    void browseHidesSelection()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.Load();
        QVERIFY(form.findChild<QTreeWidget *>(u"ListSelected"_s)->isHidden());
        QVERIFY(!form.findChild<QPushButton *>(u"cmdConf"_s)->isHidden());
        QCOMPARE(form.windowTitle(), u"RUBRICA [ 3 contatti ]"_s);
    }

    // New, edit and delete go to the vCard file at once.
    void editTheFile()
    {
        RUBfrmRubrica form;
        form.setOpenMode(2);
        form.Load();
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtDisplayName"_s, u"Nuovo Città"_s);
            setText(d, u"txtBusinessFax"_s, u"044444"_s);
            return int(QDialog::Accepted);
        });
        form.cmdNew_Click();
        auto *list = form.findChild<QListWidget *>(u"lstContacts"_s);
        QCOMPARE(list->count(), 4);
        LocalAddressBook file;
        QVERIFY(file.load());
        QCOMPARE(file.contacts().last().displayName, u"Nuovo Città"_s);
        QCOMPARE(file.contacts().last().businessFax, u"044444"_s);

        list->setCurrentRow(0);
        Prompt::setDialogHandler([](QDialog *d) {
            setText(d, u"txtCompany"_s, u"Alfa"_s);
            return int(QDialog::Accepted);
        });
        form.cmdProp_Click();
        QVERIFY(file.load());
        QCOMPARE(file.contacts().first().company, u"Alfa"_s);
        QCOMPARE(file.contacts().first().email, u"d@a.it"_s);

        list->setCurrentRow(1);
        Prompt::setNextAnswer(QMessageBox::No);
        form.cmdElim_Click();
        QCOMPARE(list->count(), 4);
        Prompt::setNextAnswer(QMessageBox::Yes);
        form.cmdElim_Click();
        QCOMPARE(list->count(), 3);
        QVERIFY(file.load());
        QCOMPARE(file.count(), 3);
        QCOMPARE(file.indexOfUid(QString()), -1);
        for (const LocalContact &c : file.contacts())
            QVERIFY(c.displayName != u"Viverov Aroz"_s);
    }

    void deleteTheOnlyContact()
    {
        writeBook({contact(u"Uno"_s, {}, u"01"_s, {}, {})});
        RUBfrmRubrica form;
        form.Load();
        form.findChild<QListWidget *>(u"lstContacts"_s)->setCurrentRow(0);
        Prompt::setNextAnswer(QMessageBox::Yes);
        form.cmdElim_Click();
        QCOMPARE(form.findChild<QListWidget *>(u"lstContacts"_s)->count(), 0);
        QCOMPARE(form.book().count(), 0);
    }

    void emptyBookKeepsCaption()
    {
        QFile::remove(LocalAddressBook::defaultPath());
        RUBfrmRubrica form;
        form.Load();
        QCOMPARE(form.windowTitle(), u"Rubrica"_s);
    }

    void unreadableBookIsReported()
    {
        const QString path = LocalAddressBook::defaultPath();
        QFile::remove(path);
        QDir().mkpath(path); // a folder where the file should be
        RUBfrmRubrica form;
        Prompt::clearRecords();
        form.Load();
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(form.findChild<QListWidget *>(u"lstContacts"_s)->count(), 0);
        form.cmdNew_Click(); // nothing to add to
        QDir().rmdir(path);
    }

    void settingsDialog()
    {
        ConfigIni.AbilitaMail = 1;
        ConfigIni.FieldRubrica = 2;
        RUBfrmConfRub conf;
        conf.findChild<QCheckBox *>(u"Check1"_s)->setChecked(true);
        conf.findChild<QComboBox *>(u"cboType"_s)->setCurrentIndex(1);
        conf.SaveBookSettings();
        QVERIFY(ConfigIni.ShowRubrica);
        QCOMPARE(ConfigIni.FieldRubrica, 3);
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"ShowRubrica"_s), u"1"_s);
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"FieldRubrica"_s), u"3"_s);
    }
};

QTEST_MAIN(TestLocalBook)
#include "tst_localbook.moc"
