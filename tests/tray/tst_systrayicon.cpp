// The notification-area icon class against a recording shell.
#include "CSystrayIcon.h"
#include "RecordingShell.h"
#include "RecordingTray.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A window that keeps the mouse messages its icon's notifications carry.
struct Catcher : QWidget
{
    QList<int> messages;
    QList<int> areaCreated; // icon ids the shell said an area came for
    bool event(QEvent *e) override
    {
        if (e->type() == TrayCreatedEvent::eventType()) {
            areaCreated << static_cast<TrayCreatedEvent *>(e)->iconId();
            return true;
        }
        if (e->type() == TrayNotifyEvent::eventType()) {
            const auto *n = static_cast<TrayNotifyEvent *>(e);
            if (n->callbackMessage() == 512)
                messages << n->message();
            return true;
        }
        return QWidget::event(e);
    }
};

QIcon colouredIcon(Qt::GlobalColor colour)
{
    QPixmap pm(16, 16);
    pm.fill(colour);
    return QIcon(pm);
}

} // namespace

class tst_SystrayIcon : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void initializeMakesNoCall();
    void tipLength_data();
    void tipLength();
    void callsOnlyInTheRightState_data();
    void callsOnlyInTheRightState();
    void changeSendsOnePart_data();
    void changeSendsOnePart();
    void hiddenChangesOnlyStore();
    void updateOnChangeOff();
    void refusedAddIsRetried();
    void refusedChangeKeepsValue();
    void destructionRemovesIcon();
    void notificationsReachTheWindow();
    void desktopShellKeepsTheIcon();
    void hostActivations_data();
    void hostActivations();

private:
    std::unique_ptr<RecordingShell> m_shell;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<CSystrayIcon> m_icon;
};

void tst_SystrayIcon::init()
{
    m_shell = std::make_unique<RecordingShell>();
    m_window = std::make_unique<QWidget>();
    m_icon = std::make_unique<CSystrayIcon>();
    m_icon->Initialize(m_window.get(), colouredIcon(Qt::blue), u"Tip"_s, 512);
}

void tst_SystrayIcon::cleanup()
{
    m_icon.reset();
    m_window.reset();
    m_shell.reset();
}

void tst_SystrayIcon::initializeMakesNoCall()
{
    QVERIFY(m_shell->calls.isEmpty());
    QVERIFY(!m_icon->Visible());
    QCOMPARE(m_icon->record().uID, 1);
    QCOMPARE(m_icon->record().uFlags, 7);
    QVERIFY(m_icon->ShowIcon());
    QCOMPARE(m_shell->calls.size(), 1);
    QCOMPARE(m_shell->calls[0].message, TrayShell::NIM_ADD);
    QCOMPARE(m_shell->calls[0].flags, 7);
    QCOMPARE(m_shell->tip(), u"Tip"_s);
    QVERIFY(m_icon->Visible());
    // Initialize again forgets the shown icon without removing it.
    m_icon->Initialize(m_window.get(), colouredIcon(Qt::red), u"Other"_s, 512);
    QVERIFY(!m_icon->Visible());
    QCOMPARE(m_shell->calls.size(), 1);
}

void tst_SystrayIcon::tipLength_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("kept");
    QTest::newRow("long") << QString(70, u'x') << QString(63, u'x');
    QTest::newRow("exactly 63") << QString(63, u'y') << QString(63, u'y');
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("accented") << u"Connesso al server: perché"_s << u"Connesso al server: perché"_s;
}

void tst_SystrayIcon::tipLength()
{
    QFETCH(QString, tip);
    QFETCH(QString, kept);
    QVERIFY(m_icon->ShowIcon());
    m_icon->setTipText(tip);
    QCOMPARE(m_icon->TipText(), kept);
    QCOMPARE(m_shell->tip(), kept);
}

void tst_SystrayIcon::callsOnlyInTheRightState_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("member"); // 0 ShowIcon, 1 HideIcon, 2 Update
    QTest::newRow("show a shown icon") << true << 0;
    QTest::newRow("hide a hidden icon") << false << 1;
    QTest::newRow("update a hidden icon") << false << 2;
}

void tst_SystrayIcon::callsOnlyInTheRightState()
{
    QFETCH(bool, shown);
    QFETCH(int, member);
    if (shown)
        QVERIFY(m_icon->ShowIcon());
    const qsizetype before = m_shell->calls.size();
    bool result = true;
    switch (member) {
    case 0:
        result = m_icon->ShowIcon();
        break;
    case 1:
        result = m_icon->HideIcon();
        break;
    default:
        result = m_icon->Update();
        break;
    }
    QVERIFY(!result);
    QCOMPARE(m_shell->calls.size(), before);
    QCOMPARE(m_icon->Visible(), shown);
}

void tst_SystrayIcon::changeSendsOnePart_data()
{
    QTest::addColumn<int>("part");
    QTest::newRow("icon") << 2;
    QTest::newRow("tip") << 4;
    QTest::newRow("callback message") << 1;
}

void tst_SystrayIcon::changeSendsOnePart()
{
    QFETCH(int, part);
    QVERIFY(m_icon->ShowIcon());
    const QIcon red = colouredIcon(Qt::red);
    if (part == 2)
        m_icon->setIconHandle(red);
    else if (part == 4)
        m_icon->setTipText(u"Nuovo"_s);
    else
        m_icon->setCallbackMessage(1024);
    QCOMPARE(m_shell->calls.size(), 2);
    QCOMPARE(m_shell->calls.last().message, TrayShell::NIM_MODIFY);
    QCOMPARE(m_shell->calls.last().flags, part);
    QCOMPARE(m_icon->record().uFlags, 7); // back to all three
    if (part == 2)
        QVERIFY(m_shell->showsIcon(red));
    else if (part == 4)
        QCOMPARE(m_shell->tip(), u"Nuovo"_s);
    else
        QCOMPARE(m_icon->CallbackMessage(), 1024);
}

void tst_SystrayIcon::hiddenChangesOnlyStore()
{
    const QIcon red = colouredIcon(Qt::red);
    m_icon->setIconHandle(red);
    m_icon->setTipText(u"Nascosto"_s);
    m_icon->setCallbackMessage(600);
    QVERIFY(m_shell->calls.isEmpty());
    QVERIFY(m_icon->ShowIcon());
    QCOMPARE(m_shell->calls.size(), 1);
    QCOMPARE(m_shell->calls[0].flags, 7);
    QVERIFY(m_shell->showsIcon(red));
    QCOMPARE(m_shell->tip(), u"Nascosto"_s);
    QCOMPARE(m_shell->shownData.uCallbackMessage, 600);
}

void tst_SystrayIcon::updateOnChangeOff()
{
    QVERIFY(m_icon->ShowIcon());
    m_icon->setUpdateOnChange(false);
    const QIcon red = colouredIcon(Qt::red);
    m_icon->setIconHandle(red);
    m_icon->setTipText(u"Dopo"_s);
    QCOMPARE(m_shell->calls.size(), 1);
    QVERIFY(m_icon->Update());
    QCOMPARE(m_shell->calls.size(), 2);
    QCOMPARE(m_shell->calls.last().flags, 7);
    QVERIFY(m_shell->showsIcon(red));
    QCOMPARE(m_shell->tip(), u"Dopo"_s);
}

void tst_SystrayIcon::refusedAddIsRetried()
{
    QSignalSpy errors(m_icon.get(), &CSystrayIcon::NIError);
    m_shell->failCode = 1008;
    QVERIFY(!m_icon->ShowIcon());
    QVERIFY(!m_icon->Visible());
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0][0].toInt(), 1008);
    m_shell->failCode = 0;
    QVERIFY(m_icon->ShowIcon());
    QVERIFY(m_icon->Visible());
    // A refused removal keeps the icon counted as shown.
    m_shell->failCode = 5;
    QVERIFY(!m_icon->HideIcon());
    QVERIFY(m_icon->Visible());
    QCOMPARE(errors.size(), 2);
    m_shell->failCode = 0;
    m_icon->setVisible(false);
    QVERIFY(!m_icon->Visible());
    m_icon->setVisible(true);
    QVERIFY(m_icon->Visible());
}

void tst_SystrayIcon::refusedChangeKeepsValue()
{
    QVERIFY(m_icon->ShowIcon());
    QSignalSpy errors(m_icon.get(), &CSystrayIcon::NIError);
    m_shell->failCode = 87;
    m_icon->setTipText(u"Rifiutato"_s);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(m_icon->TipText(), u"Rifiutato"_s);
    QCOMPARE(m_icon->record().uFlags, 7);
    QVERIFY(m_icon->Visible());
}

void tst_SystrayIcon::destructionRemovesIcon()
{
    QVERIFY(m_icon->ShowIcon());
    m_icon.reset();
    QCOMPARE(m_shell->calls.last().message, TrayShell::NIM_DELETE);
    QVERIFY(!m_shell->shown);
}

void tst_SystrayIcon::notificationsReachTheWindow()
{
    // The shell posts the icon's mouse messages to the window, tagged with the callback message.
    Catcher catcher;
    CSystrayIcon icon;
    icon.Initialize(&catcher, colouredIcon(Qt::green), u"x"_s, 512);
    m_icon.reset();
    QVERIFY(icon.ShowIcon());
    m_shell->click(TrayMouse::LButtonDblClk);
    m_shell->click(TrayMouse::RButtonUp);
    QUORIN_TRY_COMPARE(catcher.messages, (QList<int>{515, 517}));
    icon.HideIcon();
}

void tst_SystrayIcon::desktopShellKeepsTheIcon()
{
    m_icon.reset();
    m_shell.reset();
    RecordingTray tray(DesktopTrayShell::Host::XEmbed);
    Catcher window;
    CSystrayIcon icon;
    QSignalSpy errors(&icon, &CSystrayIcon::NIError);

    // No notification area: the add is refused with its code and nothing is shown.
    tray.hasArea = false;
    icon.Initialize(&window, colouredIcon(Qt::blue), u"Connessione..."_s, 512);
    QVERIFY(!icon.ShowIcon());
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.takeFirst().at(0).toInt(), TrayErrorNotAvailable);
    QVERIFY(tray.shown.isEmpty());
    QVERIFY(!icon.ShowIcon()); // tried again meanwhile: still one wait
    errors.clear();

    // The shell keeps looking; once an area is there the window is told, once.
    QTest::qWait(DesktopTrayShell::AreaWatchMs + 200);
    QVERIFY(window.areaCreated.isEmpty());
    tray.hasArea = true;
    QUORIN_TRY_COMPARE(window.areaCreated, QList<int>{1});
    QTest::qWait(DesktopTrayShell::AreaWatchMs + 200);
    QCOMPARE(window.areaCreated.size(), 1);
    QVERIFY(tray.shown.isEmpty()); // the window adds its icon itself
    QVERIFY(icon.ShowIcon());
    QCOMPARE(tray.shown.size(), 1);
    QSystemTrayIcon *shown = tray.trayIcon(&window, 1);
    QCOMPARE(shown, tray.shown.first());
    QCOMPARE(tray.shownTip(shown), u"Connessione..."_s);
    QCOMPARE(shown->icon().cacheKey(), icon.IconHandle().cacheKey());

    // Each change reaches the shown icon; a second add of the same icon is refused.
    const QIcon red = colouredIcon(Qt::red);
    icon.setIconHandle(red);
    icon.setTipText(QString(70, u'z'));
    QCOMPARE(shown->icon().cacheKey(), red.cacheKey());
    QCOMPARE(tray.shownTip(shown), QString(63, u'z'));
    QVERIFY(!tray.notifyIcon(TrayShell::NIM_ADD, icon.record()));

    // A new callback message is used from then on.
    icon.setCallbackMessage(600);
    tray.activate(QSystemTrayIcon::DoubleClick);
    QTest::qWait(20);
    QVERIFY(window.messages.isEmpty());
    icon.setCallbackMessage(512);
    tray.activate(QSystemTrayIcon::DoubleClick);
    QUORIN_TRY_COMPARE(window.messages, QList<int>{TrayMouse::LButtonDblClk});

    QVERIFY(icon.HideIcon());
    QVERIFY(tray.shown.isEmpty());
    QVERIFY(!tray.trayIcon(&window, 1));
    QVERIFY(!tray.notifyIcon(TrayShell::NIM_MODIFY, icon.record()));
    QCOMPARE(errors.size(), 0);
}

void tst_SystrayIcon::hostActivations_data()
{
    using Host = DesktopTrayShell::Host;
    QTest::addColumn<int>("host");
    QTest::addColumn<QList<int>>("reasons");
    QTest::addColumn<QList<int>>("messages");
    // An XEmbed tray reports a double click as a click and then the double click.
    QTest::newRow("xembed double click")
        << int(Host::XEmbed) << QList<int>{QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}
        << QList<int>{TrayMouse::LButtonUp, TrayMouse::LButtonDblClk};
    QTest::newRow("xembed right and middle")
        << int(Host::XEmbed) << QList<int>{QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick}
        << QList<int>{TrayMouse::RButtonUp, TrayMouse::MButtonUp};
    // A StatusNotifier host never reports a double click: its activation stands for it.
    QTest::newRow("statusnotifier activation")
        << int(Host::StatusNotifier) << QList<int>{QSystemTrayIcon::Trigger} << QList<int>{TrayMouse::LButtonDblClk};
    QTest::newRow("statusnotifier right and middle")
        << int(Host::StatusNotifier) << QList<int>{QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick}
        << QList<int>{TrayMouse::RButtonUp, TrayMouse::MButtonUp};
    QTest::newRow("unknown reason ignored")
        << int(Host::StatusNotifier) << QList<int>{QSystemTrayIcon::Unknown} << QList<int>{};
}

void tst_SystrayIcon::hostActivations()
{
    QFETCH(int, host);
    QFETCH(QList<int>, reasons);
    QFETCH(QList<int>, messages);
    m_icon.reset();
    m_shell.reset();
    RecordingTray tray(static_cast<DesktopTrayShell::Host>(host));
    Catcher window;
    CSystrayIcon icon;
    icon.Initialize(&window, colouredIcon(Qt::blue), u"x"_s, 512);
    QVERIFY(icon.ShowIcon());
    for (int reason : reasons)
        tray.activate(static_cast<QSystemTrayIcon::ActivationReason>(reason));
    if (messages.isEmpty())
        QTest::qWait(20);
    QUORIN_TRY_COMPARE(window.messages, messages);
}

QTEST_MAIN(tst_SystrayIcon)
#include "tst_systrayicon.moc"
