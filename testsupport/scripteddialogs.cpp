#include "testsupport/scripteddialogs.h"

#include "core/pageddocument.h"

namespace tessal::test {

namespace {

QString kindName(ScriptedDialogs::Kind kind)
{
    switch (kind) {
    case ScriptedDialogs::Kind::Message:
        return QStringLiteral("message");
    case ScriptedDialogs::Kind::YesNo:
        return QStringLiteral("yes/no");
    case ScriptedDialogs::Kind::Input:
        return QStringLiteral("input");
    case ScriptedDialogs::Kind::OpenFile:
        return QStringLiteral("open file");
    case ScriptedDialogs::Kind::SaveFile:
        return QStringLiteral("save file");
    case ScriptedDialogs::Kind::Directory:
        return QStringLiteral("directory");
    case ScriptedDialogs::Kind::Colour:
        return QStringLiteral("colour");
    case ScriptedDialogs::Kind::Shell:
        return QStringLiteral("shell");
    case ScriptedDialogs::Kind::Print:
        return QStringLiteral("print");
    case ScriptedDialogs::Kind::Progress:
        return QStringLiteral("progress");
    case ScriptedDialogs::Kind::Preview:
        return QStringLiteral("preview");
    }
    return {};
}

} // namespace

ScriptedDialogs::~ScriptedDialogs() = default;

void ScriptedDialogs::expectMessage(const QString &textContains)
{
    m_script.push_back({Kind::Message, std::monostate{}, textContains});
}

void ScriptedDialogs::answerYesNo(bool yes)
{
    m_script.push_back({Kind::YesNo, yes, {}});
}

void ScriptedDialogs::answerInput(std::optional<QString> text)
{
    m_script.push_back({Kind::Input, std::move(text), {}});
}

void ScriptedDialogs::answerOpenFile(const QString &path)
{
    m_script.push_back({Kind::OpenFile, path, {}});
}

void ScriptedDialogs::answerSaveFile(const QString &path)
{
    m_script.push_back({Kind::SaveFile, path, {}});
}

void ScriptedDialogs::answerDirectory(const QString &path)
{
    m_script.push_back({Kind::Directory, path, {}});
}

void ScriptedDialogs::answerColour(std::optional<QColor> colour,
                                   std::optional<QList<QColor>> customColours)
{
    m_script.push_back({Kind::Colour, std::move(colour), {}, std::move(customColours)});
}

void ScriptedDialogs::answerShell(bool opened)
{
    m_script.push_back({Kind::Shell, opened, {}});
}

void ScriptedDialogs::answerPrint(const QString &pdfPath)
{
    m_script.push_back({Kind::Print, pdfPath, {}});
}

bool ScriptedDialogs::print(const PagedDocument &document, const QString &title)
{
    const Answer a = take(Kind::Print, {Kind::Print, document.title(), title, Icon::None});
    const QString path = std::holds_alternative<QString>(a) ? std::get<QString>(a) : QString();
    return !path.isEmpty() && writePdf(document, path);
}

void ScriptedDialogs::expectPreview()
{
    m_script.push_back({Kind::Preview, std::monostate{}, {}});
}

QStringList ScriptedDialogs::messages() const
{
    QStringList texts;
    for (const Asked &a : m_asked) {
        if (a.kind == Kind::Message)
            texts << a.text;
    }
    return texts;
}

void ScriptedDialogs::reset()
{
    m_script.clear();
    m_asked.clear();
    m_unexpected.clear();
    m_lastPreview.reset();
    m_lastCustomColours.clear();
    m_stopProgressAt = 0;
    m_progressAdvances = 0;
}

ScriptedDialogs::Answer ScriptedDialogs::take(Kind kind, const Asked &asked)
{
    m_asked << asked;
    m_takenCustomColours.reset();
    if (m_script.empty() || m_script.front().kind != kind) {
        m_unexpected << kindName(kind) + QStringLiteral(": ") + asked.text;
        return {};
    }
    Step step = std::move(m_script.front());
    m_script.pop_front();
    m_takenCustomColours = std::move(step.customColours);
    if (!step.textContains.isEmpty() && !asked.text.contains(step.textContains))
        m_unexpected << kindName(kind) + QStringLiteral(" without \"") + step.textContains +
                            QStringLiteral("\": ") + asked.text;
    return step.answer;
}

void ScriptedDialogs::message(const QString &text, const QString &title, Icon icon)
{
    take(Kind::Message, {Kind::Message, text, title, icon});
}

bool ScriptedDialogs::askYesNo(const QString &text, const QString &title)
{
    const Answer a = take(Kind::YesNo, {Kind::YesNo, text, title, Icon::Question});
    // An unscripted question is answered No: the safe answer to every question we ask.
    return std::holds_alternative<bool>(a) && std::get<bool>(a);
}

std::optional<QString> ScriptedDialogs::input(const QString &prompt, const QString &title,
                                              const QString &, bool)
{
    const Answer a = take(Kind::Input, {Kind::Input, prompt, title, Icon::None});
    if (std::holds_alternative<std::optional<QString>>(a))
        return std::get<std::optional<QString>>(a);
    return std::nullopt;
}

QString ScriptedDialogs::openFileName(const QString &title, const QString &directory,
                                      const QString &)
{
    const Answer a = take(Kind::OpenFile, {Kind::OpenFile, directory, title, Icon::None});
    return std::holds_alternative<QString>(a) ? std::get<QString>(a) : QString();
}

QString ScriptedDialogs::saveFileName(const QString &title, const QString &initialPath,
                                      const QString &)
{
    const Answer a = take(Kind::SaveFile, {Kind::SaveFile, initialPath, title, Icon::None});
    return std::holds_alternative<QString>(a) ? std::get<QString>(a) : QString();
}

QString ScriptedDialogs::existingDirectory(const QString &title, const QString &directory)
{
    const Answer a = take(Kind::Directory, {Kind::Directory, directory, title, Icon::None});
    return std::holds_alternative<QString>(a) ? std::get<QString>(a) : QString();
}

std::optional<QColor> ScriptedDialogs::colour(const QColor &initial, const QString &title,
                                              QList<QColor> *customColours)
{
    m_lastCustomColours = customColours ? *customColours : QList<QColor>();
    const Answer a = take(Kind::Colour, {Kind::Colour, initial.name(), title, Icon::None});
    if (customColours && m_takenCustomColours)
        *customColours = *m_takenCustomColours;
    if (std::holds_alternative<std::optional<QColor>>(a))
        return std::get<std::optional<QColor>>(a);
    return std::nullopt;
}

bool ScriptedDialogs::openWithShell(const QString &pathOrUrl)
{
    const Answer a = take(Kind::Shell, {Kind::Shell, pathOrUrl, {}, Icon::None});
    return std::holds_alternative<bool>(a) && std::get<bool>(a);
}

namespace {

class ScriptedProgress final : public tessal::Progress
{
public:
    ScriptedProgress(int stopAt, int &advances)
        : m_stopAt(stopAt)
        , m_advances(advances)
    {}
    bool advance(qint64, qint64) override
    {
        ++m_advances;
        return m_stopAt <= 0 || ++m_seen < m_stopAt;
    }

private:
    int m_stopAt;
    int &m_advances;
    int m_seen = 0;
};

} // namespace

std::unique_ptr<tessal::Progress> ScriptedDialogs::progress(const QString &title,
                                                            const QString &label)
{
    m_asked << Asked{Kind::Progress, label, title, Icon::None};
    return std::make_unique<ScriptedProgress>(m_stopProgressAt, m_progressAdvances);
}

void ScriptedDialogs::preview(std::shared_ptr<const PagedDocument> document,
                              const PreviewOptions &options)
{
    take(Kind::Preview, {Kind::Preview, document->title(), {}, Icon::None});
    m_lastPreview = std::move(document);
    m_lastPreviewOptions = options;
}

} // namespace tessal::test
