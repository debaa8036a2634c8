// The per-account workspace: saved login, market-watch symbols, charts and window layout.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QSaveFile>
#include <QTextStream>

namespace {

// Every workspace file is written beside itself and renamed over the old one only when whole:
// a program killed mid-save leaves the old content, never an emptied or cut file.
bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

bool writeText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << text;
    out.flush();
    return out.status() == QTextStream::Ok && file.commit();
}

bool readText(const QString &path, QString *text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    *text = in.readAll();
    return true;
}

bool readBytes(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

// Puts the window back where and as the "layout" bytes (saveGeometry's) left it. The window is
// often on show already, maximized as the program starts it or as the trader left it at an
// earlier login. restoreGeometry would move a maximized window to the saved normal geometry
// (no higher than 20 px below the screen's top) and then, finding it maximized already, not
// maximize it again: the window would come back lower and un-maximized at every login. A
// maximized window that is to stay maximized still needs the saved normal geometry, or
// un-maximizing it would give the form's default size: the window manager keeps the geometry
// a window had before it was maximized, so the window steps out of maximized, takes the saved
// geometry and is maximized again. A window that already stands where it was left, maximized
// or not, is not touched.
void restoreWindowGeometry(QWidget *window, const QByteArray &bytes)
{
    QWidget saved; // never shown: holds what the bytes say, as Qt reads them on this screen
    if (!saved.restoreGeometry(bytes))
        return;
    if (saved.isMaximized()) {
        if (window->isMaximized()) {
            if (window->normalGeometry() == saved.normalGeometry())
                return;
            window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
        }
        window->restoreGeometry(bytes);
        return;
    }
    if (window->windowState() == Qt::WindowNoState && window->geometry() == saved.geometry())
        return;
    window->restoreGeometry(bytes);
}

} // namespace

void Client_Terminal::saveLayout(qint64 login, const QString &password, const QString &serverName,
                                 const QString &url, const QStringList &symbols)
{
    qDebug() << "current path: " << QDir::currentPath();
    const QString folder = Workspace::folderFor(serverName, login);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QDir dir(folder);

    const QString loginFile = dir.filePath(QStringLiteral("login"));
    if (!password.isEmpty() && Workspace::keepForOwnerOnly(loginFile))
        writeText(loginFile, QStringLiteral("%1;%2;%3").arg(login).arg(password, url));

    QString symbolsText;
    for (const QString &symbol : symbols)
        symbolsText += symbol + QLatin1Char('\n');
    writeText(dir.filePath(QStringLiteral("symbols")), symbolsText);

    writeText(dir.filePath(QStringLiteral("charts")), chartsFileText());

    writeBytes(dir.filePath(QStringLiteral("layout")), saveGeometry());
    writeBytes(dir.filePath(QStringLiteral("windowState")), saveState(0));
}

void Client_Terminal::restoreLayout(qint64 login, const QString &serverName, QList<SymbolChartWidget *> *reloaded)
{
    const QString folder = Workspace::folderFor(serverName, login);
    if (folder.isEmpty() || !QDir(folder).exists())
        return;
    const QDir dir(folder);

    QString text;
    if (readText(dir.filePath(QStringLiteral("symbols")), &text))
        symbolStore.setSymbols(Workspace::parseSymbolsFile(text), false);

    if (readText(dir.filePath(QStringLiteral("charts")), &text))
        restoreCharts(Workspace::parseChartsFile(text), reloaded);

    QByteArray bytes;
    if (readBytes(dir.filePath(QStringLiteral("layout")), &bytes))
        restoreWindowGeometry(this, bytes);
    if (readBytes(dir.filePath(QStringLiteral("windowState")), &bytes))
        restoreState(bytes, 0);
}
