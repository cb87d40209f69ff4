#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

// One running instance of a program per user, and "find and raise" that instance's window.
//
// The running instance holds a lock file and listens on a local socket, both in the user's private
// temporary folder, named after the program and the user ("Quorin-alice.instance"). A second start, or
// another program, connects there and sends "raise"; the instance then un-minimises and activates its
// window (setWindow) and emits raiseRequested.
//
// Everything is asynchronous: claim() answers with claimed() or alreadyRunning() from the event loop.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &program, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Path of the local socket of the program's instance for this user.
    static QString socketPath(const QString &program);

    // Becomes the one instance (claimed) or finds the running one, which is asked to raise itself
    // (alreadyRunning). Without a private folder to hold the lock, the program runs unchecked (claimed).
    void claim();
    bool isClaimed() const { return m_claimed; }

    // For a program that may run more than once: the first instance takes the name and listens for
    // "raise"; later ones leave the name to it, raise nobody and emit nothing. True when listening.
    bool serve();

    // The window a "raise" brings to the front.
    void setWindow(QWidget *window) { m_window = window; }

    // Restores a minimised or hidden window, raises and activates it.
    static void raiseWindow(QWidget *window);

    // Sends "raise" to the running instance of program. done(true) once the request was handed over,
    // done(false) when no instance listens. done runs from the event loop, never inside the call.
    static void requestRaise(const QString &program, QObject *context, std::function<void(bool)> done);

Q_SIGNALS:
    void claimed();
    void alreadyRunning();
    void raiseRequested();

private:
    void listen();
    void onNewConnection();

    QString m_program;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QPointer<QWidget> m_window;
    bool m_claimed = false;
};
