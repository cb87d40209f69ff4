#include "SingleInstance.h"

#include "AppPaths.h"
#include "SystemUser.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView RaiseRequest = "raise\n";
constexpr int RaiseTimeoutMs = 3000;
constexpr qint64 MaxRequestBytes = 64;

QString userPart()
{
    QString user = SystemUser::loginName();
    if (user.isEmpty())
        user = QString::number(::geteuid());
    // Only plain characters in a file name.
    for (QChar &c : user) {
        if (!c.isLetterOrNumber() && c != u'_' && c != u'-' && c != u'.')
            c = u'_';
    }
    return user;
}

} // namespace

SingleInstance::SingleInstance(const QString &program, QObject *parent) : QObject(parent), m_program(program)
{}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
        QLocalServer::removeServer(socketPath(m_program));
    }
}

QString SingleInstance::socketPath(const QString &program)
{
    const QString dir = AppPaths::tempDir();
    if (dir.isEmpty())
        return {};
    return dir + program + u'-' + userPart() + u".instance";
}

void SingleInstance::claim()
{
    const QString path = socketPath(m_program);
    const auto claimLater = [this] {
        m_claimed = true;
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT claimed(); }, Qt::QueuedConnection);
    };
    if (path.isEmpty())
        return claimLater();
    m_lock = std::make_unique<QLockFile>(path + u".lock");
    // Only a dead holder makes the lock stale, never its age: the instance runs for days.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return claimLater();
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        // The lock cannot be written at all: run rather than refuse to start.
        m_lock.reset();
        return claimLater();
    }
    m_lock.reset();
    requestRaise(m_program, this, [this](bool) { Q_EMIT alreadyRunning(); });
}

bool SingleInstance::serve()
{
    const QString path = socketPath(m_program);
    if (m_claimed || path.isEmpty())
        return m_server != nullptr;
    m_lock = std::make_unique<QLockFile>(path + u".lock");
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    m_claimed = true;
    listen();
    return m_server != nullptr;
}

void SingleInstance::listen()
{
    const QString path = socketPath(m_program);
    // We hold the lock: a socket file left there belongs to an instance that is gone.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(path)) {
        // Still the one instance; others just cannot raise us.
        delete m_server;
        m_server = nullptr;
    }
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > MaxRequestBytes)
                    socket->abort();
                return;
            }
            const QByteArray line = socket->readLine(MaxRequestBytes).trimmed();
            socket->disconnectFromServer();
            if (line != "raise")
                return;
            raiseWindow(m_window);
            Q_EMIT raiseRequested();
        });
    }
}

void SingleInstance::raiseWindow(QWidget *window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

void SingleInstance::requestRaise(const QString &program, QObject *context, std::function<void(bool)> done)
{
    const QString path = socketPath(program);
    auto *socket = new QLocalSocket(context);
    auto *guard = new QTimer(socket);
    guard->setSingleShot(true);
    // Every road ends here exactly once; the socket goes with it.
    auto finish = [socket, done = std::move(done)](bool ok) mutable {
        if (!done)
            return;
        auto call = std::move(done);
        done = nullptr;
        socket->disconnect();
        if (socket->state() == QLocalSocket::ConnectedState) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer(); // sends what is still buffered first
        } else {
            socket->deleteLater();
        }
        call(ok);
    };
    auto shared = std::make_shared<decltype(finish)>(std::move(finish));
    QObject::connect(socket, &QLocalSocket::connected, socket, [socket, shared] {
        socket->write(RaiseRequest.data(), RaiseRequest.size());
        socket->flush();
        (*shared)(true);
    });
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, [shared] { (*shared)(false); });
    QObject::connect(guard, &QTimer::timeout, socket, [shared] { (*shared)(false); });
    // Started from the loop, so the answer never arrives inside the caller.
    QTimer::singleShot(0, socket, [socket, guard, path, shared] {
        if (path.isEmpty())
            return (*shared)(false);
        guard->start(RaiseTimeoutMs);
        socket->connectToServer(path);
    });
}
