#include "core/ui/qtdialogs.h"

#include "core/appinfo.h"
#include "core/money.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>

namespace tessal {

namespace {

QMessageBox::Icon boxIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QString titleOr(const QString &title)
{
    return title.isEmpty() ? applicationTitle() : title;
}

} // namespace

QWidget *QtDialogs::parent() const
{
    if (m_parent)
        return m_parent;
    return QApplication::activeWindow();
}

std::unique_ptr<QMessageBox> makeMessageBox(const QString &text, const QString &title,
                                            Dialogs::Icon icon, QWidget *parent)
{
    return std::make_unique<QMessageBox>(boxIcon(icon), titleOr(title), text, QMessageBox::Ok,
                                         parent);
}

void QtDialogs::message(const QString &text, const QString &title, Icon icon)
{
    makeMessageBox(text, title, icon, parent())->exec();
}

bool QtDialogs::askYesNo(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::Yes | QMessageBox::No,
                    parent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString &prompt, const QString &title,
                                        const QString &initial, bool masked)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent(), titleOr(title), prompt,
                              masked ? QLineEdit::Password : QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::openFileName(const QString &title, const QString &directory,
                                const QString &filter)
{
    return QFileDialog::getOpenFileName(parent(), title, directory, filter);
}

QString QtDialogs::saveFileName(const QString &title, const QString &initialPath,
                                const QString &filter)
{
    return QFileDialog::getSaveFileName(parent(), title, initialPath, filter);
}

QString QtDialogs::existingDirectory(const QString &title, const QString &directory)
{
    return QFileDialog::getExistingDirectory(parent(), title, directory);
}

std::optional<QColor> QtDialogs::colour(const QColor &initial, const QString &title)
{
    const QColor chosen = QColorDialog::getColor(initial, parent(), title);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

bool QtDialogs::openWithShell(const QString &pathOrUrl)
{
    const QUrl url = pathOrUrl.contains(QStringLiteral("://"))
                         ? QUrl(pathOrUrl)
                         : QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

void installTranslations()
{
    const QLocale locale = programLocale();
    QLocale::setDefault(locale);
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &catalogue : {QStringLiteral("qtbase"), QStringLiteral("qt")}) {
        auto *translator = new QTranslator(qApp);
        if (translator->load(locale, catalogue, QStringLiteral("_"), directory))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace tessal
