#include "reports/ui/fmostralog.h"

#include "core/appcontext.h"
#include "core/config.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "core/errorreport.h"
#include "reports/delimitedinput.h"
#include "reports/logfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringDecoder>
#include <QTextCursor>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString FormName = u"fmostralog"_s;
constexpr qint64 ChunkBytes = 64 * 1024;
// A line longer than this is shown broken into pieces: a text box laying out one line of
// megabytes (a file that is not text, with no line ends) would stop answering.
constexpr qsizetype LongestShownLine = 2000;

// The item as the box shows it: control characters (a file that is not text) as "�", line ends
// inside a quoted item as line breaks, very long lines broken.
QString shown(const QString &item)
{
    QString text;
    text.reserve(item.size() + 1);
    qsizetype column = 0;
    for (qsizetype i = 0; i < item.size(); ++i) {
        QChar c = item.at(i);
        if (c == u'\r') {
            if (i + 1 < item.size() && item.at(i + 1) == u'\n')
                continue;
            c = u'\n';
        }
        if (c == u'\n') {
            text += c;
            column = 0;
            continue;
        }
        if (c.unicode() < 0x20 && c != u'\t')
            c = QChar::ReplacementCharacter;
        if (column == LongestShownLine) {
            text += u'\n';
            column = 0;
        }
        text += c;
        ++column;
    }
    text += u'\n';
    return text;
}

} // namespace

fmostralog::fmostralog(AppContext &ctx, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ctx(ctx)
    , m_files(new QListWidget(this))
    , m_text(new QPlainTextEdit(this))
{
    setObjectName(FormName);
    setWindowTitle(u"Log de Operação"_s);

    m_files->setObjectName(u"diretorio"_s);
    m_files->setMaximumWidth(220);
    m_text->setObjectName(u"historico"_s);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *read = new QPushButton(u"Ler Arquivo Usuário"_s, this);
    read->setObjectName(u"Command1"_s);
    auto *remove = new QPushButton(u"Zerar Arquivo Log"_s, this);
    remove->setObjectName(u"Command2"_s);
    auto *leave = new QPushButton(u"&Sair"_s, this);
    leave->setObjectName(u"SAIR"_s);

    auto *filesFrame = new QGroupBox(u"Arquivos"_s, this);
    (new QVBoxLayout(filesFrame))->addWidget(m_files);
    auto *body = new QHBoxLayout;
    body->addWidget(filesFrame);
    body->addWidget(m_text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    buttons->addWidget(leave);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    resize(980, 560);

    connect(read, &QPushButton::clicked, this, &fmostralog::Command1_Click);
    connect(remove, &QPushButton::clicked, this, &fmostralog::Command2_Click);
    connect(leave, &QPushButton::clicked, this, &fmostralog::SAIR_Click);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &fmostralog::Command1_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    Form_Load();
}

void fmostralog::Form_Load()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { refreshList(); });
}

void fmostralog::refreshList()
{
    m_files->clear();
    m_files->addItems(reports::userLogFiles(m_ctx.programDir(), m_ctx.session().userCode()));
}

QString fmostralog::chosenPath() const
{
    // The file the operator picked: the list's current row alone is not a choice, since the list
    // makes its first row current when it takes the focus.
    const QList<QListWidgetItem *> picked = m_files->selectedItems();
    const QListWidgetItem *chosen = picked.isEmpty() ? nullptr : picked.first();
    if (!chosen)
        throw Error(ErrorNumber::InvalidInput,
                    u"Nenhum arquivo de log foi escolhido: escolha um arquivo na lista."_s,
                    m_files->objectName());
    return joinPath(m_ctx.programDir(), chosen->text());
}

void fmostralog::Command1_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    steps.run([&] { LerArquivo(chosenPath()); });
}

void fmostralog::LerArquivo(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw Error(ErrorNumber::FileNotFound,
                    u"O arquivo \"%1\" não foi encontrado."_s.arg(QDir::toNativeSeparators(path)),
                    path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível abrir o arquivo \"%1\": %2"_s.arg(
                        QDir::toNativeSeparators(path), file.errorString()),
                    path);
    const qint64 size = file.size();
    const qint64 toRead = std::min(size, MaxShownBytes);
    const std::unique_ptr<Progress> progress = m_ctx.dialogs().progress(
        windowTitle(), u"Lendo \"%1\"..."_s.arg(QFileInfo(path).fileName()));
    QStringDecoder decoder(QStringConverter::System);
    reports::DelimitedReader reader;
    QString batch;
    const auto item = [&batch](const QString &text) { batch += shown(text); };
    QTextCursor cursor(m_text->document());
    cursor.movePosition(QTextCursor::End);
    qint64 done = 0;
    bool stopped = false;
    while (done < toRead) {
        const QByteArray chunk = file.read(std::min(ChunkBytes, toRead - done));
        if (chunk.isEmpty())
            throw Error(ErrorNumber::FileAccess,
                        u"Não foi possível ler o arquivo \"%1\": %2"_s.arg(
                            QDir::toNativeSeparators(path), file.errorString()),
                        path);
        done += chunk.size();
        const QString text = decoder.decode(chunk);
        reader.feed(text, item);
        cursor.insertText(batch);
        batch.clear();
        if (!progress->advance(done, toRead)) {
            stopped = true;
            break;
        }
    }
    if (!stopped)
        reader.finish(item);
    if (size > toRead)
        batch +=
            u"[... o arquivo tem %1 bytes; foram mostrados os primeiros %2.]\n"_s.arg(size).arg(
                toRead);
    cursor.insertText(batch);
}

void fmostralog::Command2_Click()
{
    HandlerSteps steps(m_ctx.errors(), FormName);
    QString path;
    // Nothing chosen: there is nothing to ask about, and nothing is written as deleted.
    if (!steps.run([&] { path = chosenPath(); }))
        return;
    const QString user = m_ctx.session().userName();
    if (m_ctx.dialogs().askYesNo(u"Tem certesa que quer realmente excluir esse arquivo? :"_s,
                                 u"EXCLUSÃO"_s)) {
        const bool deleted = steps.run([&] {
            QFile file(path);
            if (!file.exists())
                throw Error(
                    ErrorNumber::FileNotFound,
                    u"O arquivo \"%1\" não foi encontrado."_s.arg(QDir::toNativeSeparators(path)),
                    path);
            if (!file.remove())
                throw Error(ErrorNumber::FileAccess,
                            u"Não foi possível excluir o arquivo \"%1\": %2"_s.arg(
                                QDir::toNativeSeparators(path), file.errorString()),
                            path);
        });
        // A file that is still there was not deleted, and is not logged or told as deleted.
        if (deleted) {
            steps.run([&] { m_ctx.log(u"ZEROU ARQUIVO DE LOG!!!!!"_s, user); });
            m_ctx.dialogs().message(u"ARQUIVO ZERADO"_s);
        }
    } else {
        steps.run([&] { m_ctx.log(u"DESISTIU DE ZERAR O ARQUIVO DE LOG!!!!!"_s, user); });
    }
    steps.run([&] { refreshList(); });
}

void fmostralog::SAIR_Click()
{
    close();
}

} // namespace tessal
