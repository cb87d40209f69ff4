// Property persistence of the Lumagrid control through a property bag.
#include "ControlTest.h"
#include "LumagridPropertyBag.h"
#include "PageView.h"

#include <QApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTextDocument>

using namespace Qt::StringLiterals;
using ControlTest::makeControl;

namespace {
// A bag in memory that keeps what it is given, defaults included, to compare two controls.
class MapBag : public LumagridPropertyBag
{
public:
    QVariantMap values;
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) override
    {
        return values.value(name, defaultValue);
    }
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &) override
    {
        values.insert(name, value);
    }
};
} // namespace

class TestLumagridProps : public QObject
{
    Q_OBJECT

private:
    TestHome m_dir;
    int m_n = 0;

    std::unique_ptr<QSettings> settings()
    {
        return std::make_unique<QSettings>(m_dir.filePath(u"form-%1.ini"_s.arg(m_n)), QSettings::IniFormat);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ControlTest::isolate(m_dir);
    }

    void init() { ++m_n; }

    void keysInOrder()
    {
        QStringList write = Lumagrid::propertyNames();
        QCOMPARE(write.size(), 100);
        QCOMPARE(write.removeDuplicates(), 0);
        QCOMPARE(write.first(), u"BackColor"_s);
        QCOMPARE(write.mid(95), QStringList({u"ActiveControl"_s, u"WorkType"_s, u"ThumbsVisible"_s,
                                             u"ButtonsVisible"_s, u"AskResSaveAs"_s}));
        const QStringList read = Lumagrid::propertyNames(true);
        QCOMPARE(read.size(), 99);
        QVERIFY(!read.contains(u"Image"_s));
        QCOMPARE(read.mid(94), QStringList({u"ButtonsVisible"_s, u"AskResSaveAs"_s, u"WorkType"_s,
                                            u"ThumbsVisible"_s, u"ActiveControl"_s}));
    }

    // Nothing stored: the defaults, the strip and toolbar shown, Viewer; the engine's save quality
    // falls from the new control's 100 to the stored default 75. Written back, it stores nothing.
    void emptyStoreGivesDefaultsAndWritesNothing()
    {
        auto c = makeControl();
        QCOMPARE(c->JPGQuality(), 100);
        auto s = settings();
        LumagridSettingsBag bag(*s, u"Lumagrid1"_s);
        QSignalSpy notified(c.get(), &Lumagrid::propertyChanged);
        c->ReadProperties(bag);
        QCOMPARE(notified.count(), 0);
        QCOMPARE(c->JPGQuality(), 75);
        QCOMPARE(c->WorkType(), Viewer);
        QVERIFY(c->ThumbsVisible());
        QVERIFY(c->ButtonsVisible());
        QVERIFY(!c->AskResSaveAs());
        QVERIFY(c->Center());
        QCOMPARE(c->ZoomVariation(), 10);
        QCOMPARE(c->UndoLevels(), 5);
        QCOMPARE(c->ScrollBars(), 3);
        c->WriteProperties(bag);
        s->sync();
        QCOMPARE(s->allKeys(), QStringList());
    }

    void storedValuesComeBack()
    {
        auto a = makeControl();
        a->InitProperties();
        a->setJPGQuality(60);
        a->setZoomVariation(25);
        a->setAskResSaveAs(true);
        a->setThumbsVisible(false);
        a->setButtonsVisible(false);
        a->setWorkType(Editor);
        a->setBackColor(QColor(0x12, 0x34, 0x56));
        a->setImageBorderColor(QColor(200, 10, 20));
        a->setImageBorderThickness(3);
        QFont font(u"DejaVu Sans"_s);
        font.setBold(true);
        a->letFont(font);
        QPixmap icon(16, 16);
        icon.fill(Qt::red);
        a->setMouseIcon(icon);
        a->setFontName(u"Verdana"_s);
        a->setScrollBars(1);
        a->setCenter(false);
        a->setTIFCompression(4);
        a->setToolTipText(u"Anteprima <b>fax</b> & \"x\"<br>  <img src=\"x.png\">"_s);
        a->setCurrentX(12.5f);
        a->setDrawWidth(3);
        a->letEnabled(true);
        a->setMouseTool(2);
        a->setZoom(2.5);
        auto s = settings();
        {
            LumagridSettingsBag bag(*s, u"Lumagrid1"_s);
            a->WriteProperties(bag);
        }
        s->sync();
        QVERIFY(s->contains(u"Lumagrid1/JPGQuality"_s));
        QVERIFY(!s->contains(u"Lumagrid1/UndoLevels"_s)); // at its default
        auto reread = std::make_unique<QSettings>(s->fileName(), QSettings::IniFormat);
        auto b = makeControl();
        LumagridSettingsBag bag(*reread, u"Lumagrid1"_s);
        b->ReadProperties(bag);
        MapBag wa, wb;
        a->WriteProperties(wa);
        b->WriteProperties(wb);
        for (const QString &name : Lumagrid::propertyNames()) {
            const QVariant va = wa.values.value(name), vb = wb.values.value(name);
            if (va.metaType().flags().testFlag(QMetaType::PointerToQObject))
                continue;
            QVERIFY2(va == vb, qPrintable(name + u": "_s + va.toString() + u" / "_s + vb.toString()));
        }
        QCOMPARE(b->WorkType(), Editor);
        QVERIFY(!b->ThumbsVisible());
        QVERIFY(!b->toolbar()->isVisibleTo(b.get()));
        QCOMPARE(b->BackColor(), QColor(0x12, 0x34, 0x56));
        QVERIFY(b->Font().bold());
        QCOMPARE(b->MouseIcon().size(), QSize(16, 16));
        // The host's tooltip comes back as given and shows as typed, markup and all.
        const QString tip = u"Anteprima <b>fax</b> & \"x\"<br>  <img src=\"x.png\">"_s;
        QCOMPARE(b->ToolTipText(), tip);
        QTextDocument shown;
        shown.setHtml(b->pageView()->toolTip());
        QVERIFY(Qt::mightBeRichText(b->pageView()->toolTip()));
        QCOMPARE(shown.toPlainText(), tip);
    }

    // A stored value the control cannot take is skipped; the keys after it are still read.
    void badValuesAreSkipped()
    {
        auto s = settings();
        s->beginGroup(u"L"_s);
        s->setValue(u"JPGQuality"_s, u"alto"_s);
        s->setValue(u"BackColor"_s, u"rosso"_s);
        s->setValue(u"MouseIcon"_s, QByteArray("not a picture"));
        s->setValue(u"Image"_s, QByteArray("never read"));
        s->setValue(u"ZoomVariation"_s, 30);
        s->setValue(u"AskResSaveAs"_s, true);
        s->endGroup();
        auto c = makeControl();
        const QColor back = c->BackColor();
        LumagridSettingsBag bag(*s, u"L"_s);
        c->ReadProperties(bag);
        QCOMPARE(c->JPGQuality(), 100);
        QCOMPARE(c->BackColor(), back);
        QVERIFY(c->MouseIcon().isNull());
        QVERIFY(c->IsEmpty());
        QCOMPARE(c->ZoomVariation(), 30);
        QVERIFY(c->AskResSaveAs());
    }

    // Every colour a host can store reads back: plain, palette-relative and system colours (as
    // unsigned numbers or as the negative numbers of signed hosts), and a system colour is written
    // back as the same system colour.
    void everyStoredColourReadsBack_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QVariant>("writtenBack");
        const QPalette pal = QApplication::palette();
        QTest::newRow("plain") << QVariant(0x563412u) << QColor(0x12, 0x34, 0x56) << QVariant(0x563412u);
        QTest::newRow("palette relative")
            << QVariant(0x02563412u) << QColor(0x12, 0x34, 0x56) << QVariant(0x563412u);
        QTest::newRow("button face") << QVariant(0x8000000Fu) << pal.color(QPalette::Button)
                                     << QVariant(0x8000000Fu);
        QTest::newRow("window") << QVariant(0x80000005u) << pal.color(QPalette::Base)
                                << QVariant(0x80000005u);
        QTest::newRow("inactive border")
            << QVariant(0x8000000Bu) << pal.color(QPalette::Inactive, QPalette::Window)
            << QVariant(0x8000000Bu);
        QTest::newRow("highlight, signed") << QVariant(qint32(0x8000000Du - 0x100000000ll))
                                           << pal.color(QPalette::Highlight) << QVariant(0x8000000Du);
        QTest::newRow("menu bar, as text")
            << QVariant(u"2147483678"_s) << pal.color(QPalette::Window) << QVariant(0x8000001Eu);
    }

    void everyStoredColourReadsBack()
    {
        QFETCH(QVariant, stored);
        QFETCH(QColor, colour);
        QFETCH(QVariant, writtenBack);
        MapBag in;
        in.values.insert(u"BackColor"_s, stored);
        in.values.insert(u"ImageBorderColor"_s, stored);
        in.values.insert(u"FillColor"_s, stored);
        auto c = makeControl();
        c->ReadProperties(in);
        QCOMPARE(c->BackColor(), colour);
        QCOMPARE(c->ImageBorderColor(), colour);
        MapBag out;
        c->WriteProperties(out);
        const quint32 want = writtenBack.toUInt();
        QCOMPARE(out.values.value(u"BackColor"_s).toUInt(), want);
        QCOMPARE(out.values.value(u"ImageBorderColor"_s).toUInt(), want);
        QCOMPARE(quint32(out.values.value(u"FillColor"_s).toInt()), quint32(stored.toLongLong()));
        // Unknown kinds of value are still refused: a system index past the last, a palette index.
        for (const quint32 bad : {0x8000001Fu, 0x01000003u}) {
            MapBag worse;
            worse.values.insert(u"BackColor"_s, bad);
            c->ReadProperties(worse);
            QCOMPARE(c->BackColor(), colour);
        }
    }

    void initPropertiesForANewInstance()
    {
        auto c = makeControl();
        c->setForeColor(5);
        c->letEnabled(true);
        c->setAskResSaveAs(true);
        c->InitProperties();
        QCOMPARE(c->ForeColor(), 0);
        QVERIFY(!c->Enabled());
        QVERIFY(!c->AskResSaveAs());
        QCOMPARE(c->WorkType(), Viewer);
        QVERIFY(c->ThumbsVisible());
        QVERIFY(c->ButtonsVisible());
        QCOMPARE(c->JPGQuality(), 100); // the engine's own settings stay
    }

    // A host that binds late reaches every stored property and every method by name.
    void membersReachableByName()
    {
        const QMetaObject &mo = Lumagrid::staticMetaObject;
        for (const QString &name : Lumagrid::propertyNames()) {
            if (name == u"ActiveControl"_s) // a slot of the container, no member
                continue;
            QVERIFY2(mo.indexOfProperty(name.toLatin1().constData()) >= mo.propertyOffset(), qPrintable(name));
        }
        for (const char *name : {"FileName", "PagesNumber", "Page", "lNumPage", "Saved", "Undos", "Redos",
                                 "IsEmpty", "Info", "MemoryUse", "ImgX", "Images", "Support", "hWnd"})
            QVERIFY2(mo.indexOfProperty(name) >= mo.propertyOffset(), name);
        for (const char *name : {"OpenSource", "Pulizia", "GoToPage", "Save", "Undo", "Redo", "UndoText",
                                 "UndoAddLevel", "ConvertImage", "ConvertImagePage", "PrintSource", "Scan",
                                 "SelectScannerSource", "ThumbsGenerate", "ScaleImageToFit", "Refresh",
                                 "Update", "SelectionMove", "ShowAboutDialog"}) {
            bool found = false;
            for (int m = mo.methodOffset(); m < mo.methodCount() && !found; ++m)
                found = mo.method(m).name() == name;
            QVERIFY2(found, name);
        }
        // Values set by name land where the typed members read them.
        Lumagrid c;
        QVERIFY(c.setProperty("JPGQuality", 42));
        QCOMPARE(c.JPGQuality(), 42);
        QVERIFY(c.setProperty("BorderStyle", 1));
        QCOMPARE(c.BorderStyle(), 1);
        QVERIFY(c.setProperty("ThumbsVisible", false));
        QCOMPARE(c.property("ThumbsVisible").toBool(), false);
        QCOMPARE(c.property("PagesNumber").toInt(), 0);
    }

    // A host form with the control placed on it loads the form's defaults: the strip is shown and
    // the file options are those of a stored control.
    void formDefaultsThroughTheDefaultsBag()
    {
        Lumagrid c;
        c.setThumbsVisible(false);
        LumagridDefaultsBag stored;
        c.ReadProperties(stored);
        QVERIFY(c.ThumbsVisible());
        QCOMPARE(c.JPGQuality(), 75);
        QVERIFY(c.ButtonsVisible());
    }
};

QTEST_MAIN(TestLumagridProps)
#include "tst_lumagrid_props.moc"
