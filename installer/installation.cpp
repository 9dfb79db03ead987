#include "installer/installation.h"

#include "core/config.h"
#include "core/error.h"
#include "core/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace tessal::installer {

namespace {

// One argument of a launcher's Exec key: quoted, with the characters the quoting reserves
// escaped, and then every backslash doubled as the key's string type requires.
QString execArgument(const QString &argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    // A percent sign would start a field code.
    quoted.replace(QStringLiteral("%"), QStringLiteral("%%"));
    quoted = u'"' + quoted + u'"';
    return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

// Values of string keys escape backslashes and line ends.
QString entryValue(const QString &value)
{
    QString v = value;
    v.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    v.replace(QStringLiteral("\n"), QStringLiteral("\\n"));
    v.replace(QStringLiteral("\r"), QStringLiteral("\\r"));
    v.replace(QStringLiteral("\t"), QStringLiteral("\\t"));
    return v;
}

} // namespace

QString launcherFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Tessal Caixa.LNK");
#else
    return QStringLiteral("Tessal Caixa.desktop");
#endif
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString programPath(const QString &installDirectory)
{
#ifdef Q_OS_WIN
    return joinPath(installDirectory, QStringLiteral("tessal.EXE"));
#else
    return joinPath(installDirectory, QStringLiteral("tessal"));
#endif
}

QString desktopEntry(const QString &installDirectory)
{
    const QString lf = QStringLiteral("\n");
    return QStringLiteral("[Desktop Entry]") + lf + QStringLiteral("Type=Application") + lf +
           QStringLiteral("Version=1.0") + lf + QStringLiteral("Name=Tessal Caixa") + lf +
           QStringLiteral("Comment=Sistema Controle de Caixa") + lf + QStringLiteral("Exec=") +
           execArgument(programPath(installDirectory)) + lf + QStringLiteral("Path=") +
           entryValue(installDirectory) + lf + QStringLiteral("Terminal=false") + lf +
           QStringLiteral("Categories=Office;Finance;") + lf;
}

QString createLauncher(const QString &desktopDirectory, const QString &installDirectory)
{
    if (desktopDirectory.isEmpty() || !QFileInfo(desktopDirectory).isDir())
        throw Error(ErrorNumber::PathNotFound,
                    QStringLiteral("Pasta da área de trabalho não encontrada: ") + desktopDirectory,
                    QStringLiteral("Desktop"));
    const QString path = joinPath(desktopDirectory, launcherFileName());
#ifdef Q_OS_WIN
    QFile::remove(path);
    if (!QFile::link(programPath(installDirectory), path))
        throw Error(ErrorNumber::FileAccess,
                    QStringLiteral("Não foi possível criar o atalho ") + path, path);
#else
    replaceText(path, desktopEntry(installDirectory));
    // Desktops start only launchers marked executable.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser);
#endif
    return path;
}

QStringList installableVolumes()
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QByteArray type = volume.fileSystemType();
        // Kernel and memory file systems hold no installation.
        static const QList<QByteArray> pseudo = {
            "proc",    "sysfs",       "devtmpfs",   "devpts",           "cgroup",
            "cgroup2", "mqueue",      "securityfs", "debugfs",          "tracefs",
            "pstore",  "bpf",         "configfs",   "fusectl",          "hugetlbfs",
            "autofs",  "binfmt_misc", "nsfs",       "overlay_internal", "efivarfs"};
        if (pseudo.contains(type))
            continue;
        if (!roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    std::sort(roots.begin(), roots.end());
    return roots;
}

bool isReadableDirectory(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && QDir(path).isReadable();
}

QString defaultInstallFolder()
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(QStringLiteral("C:/Arquivos de programas/Tessal"));
#else
    return QStringLiteral("/opt/tessal");
#endif
}

} // namespace tessal::installer
