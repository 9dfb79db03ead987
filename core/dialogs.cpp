#include "core/dialogs.h"

#include <QStringList>

namespace tessal {

QString qtFileFilter(const QString &pipeSeparated)
{
    const QStringList parts = pipeSeparated.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        QStringList patterns = parts.at(i + 1).trimmed().split(u';', Qt::SkipEmptyParts);
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        // The second piece is what the old dialogs filtered by, so the parentheses Qt reads are
        // rebuilt from it; "*.*" meant every file.
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0)
            description = description.left(open).trimmed();
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        }
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace tessal
