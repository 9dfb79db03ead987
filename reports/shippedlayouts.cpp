#include "reports/shippedlayouts.h"

#include "core/config.h"
#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// Resources of a static library are registered by name, at global scope, before first use.
static void registerLayoutResources()
{
    Q_INIT_RESOURCE(layouts);
}

namespace tessal::reports {

QStringList shippedLayoutNames()
{
    return {QStringLiteral("extrato.rpt"), QStringLiteral("historicos.rpt"),
            QStringLiteral("consolidado.rpt")};
}

QByteArray shippedLayout(const QString &name)
{
    registerLayoutResources();
    QFile file(QStringLiteral(":/reports/layouts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::FileNotFound,
                    QStringLiteral("O programa não traz o modelo de relatório \"%1\".").arg(name),
                    name);
    return file.readAll();
}

QStringList installShippedLayouts(const QString &dataDir)
{
    if (!QDir().mkpath(dataDir))
        throw Error(ErrorNumber::PathNotFound,
                    QStringLiteral("Não foi possível criar o diretório \"%1\".")
                        .arg(QDir::toNativeSeparators(dataDir)),
                    dataDir);
    QStringList copied;
    for (const QString &name : shippedLayoutNames()) {
        const QString target = joinPath(dataDir, name);
        if (QFileInfo::exists(target))
            continue;
        QSaveFile file(target);
        const QByteArray bytes = shippedLayout(name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            throw Error(ErrorNumber::FileAccess,
                        QStringLiteral("Não foi possível copiar o modelo de relatório \"%1\" para "
                                       "\"%2\": %3")
                            .arg(name, QDir::toNativeSeparators(dataDir), file.errorString()),
                        target);
        copied << name;
    }
    return copied;
}

} // namespace tessal::reports
