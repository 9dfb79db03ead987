#include "cube/ui/saveform.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/error.h"
#include "cube/cube.h"
#include "cube/ui/controlarray.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal::cube {

SaveForm::SaveForm(AppContext &ctx, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_withData(new QRadioButton(u"Salvar lay out e dados"_s))
    , m_layoutOnly(new QRadioButton(u"Somente lay-out  do cubo "_s))
    , m_compression(new QCheckBox(u"Compactar"_s))
    , m_noPassword(new QRadioButton(u"Não exigir senha"_s))
    , m_password(new QRadioButton(u"Exigir senha"_s))
    , m_passwordText(new QLineEdit)
    , m_path(new QLineEdit)
{
    setObjectName(u"SaveForm"_s);
    setWindowTitle(u"Rotina para Salvar lay-out "_s);

    auto *options = new QGroupBox(u"Opções de Salvamento"_s);
    options->setObjectName(u"SaveOptionFrame"_s);
    setArrayMember(m_withData, u"SaveOption"_s, 0);
    setArrayMember(m_layoutOnly, u"SaveOption"_s, 1);
    m_compression->setObjectName(u"CompressionCheck"_s);
    auto *optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(m_withData);
    optionsLayout->addWidget(m_layoutOnly);
    optionsLayout->addWidget(m_compression);

    auto *security = new QGroupBox(u"Configurações de Segurança"_s);
    security->setObjectName(u"fraPassword"_s);
    setArrayMember(m_noPassword, u"optPassword"_s, 0);
    setArrayMember(m_password, u"optPassword"_s, 1);
    m_passwordText->setObjectName(u"txtPassword"_s);
    m_passwordText->setEchoMode(QLineEdit::Password);
    m_passwordText->setReadOnly(true);
    auto *securityLayout = new QVBoxLayout(security);
    securityLayout->addWidget(m_noPassword);
    securityLayout->addWidget(m_password);
    securityLayout->addWidget(m_passwordText);
    connect(m_noPassword, &QRadioButton::clicked, this, [this] { optPassword_Click(0); });
    connect(m_password, &QRadioButton::clicked, this, [this] { optPassword_Click(1); });

    auto *choosePath = new QPushButton(u"Escolher local e nome do arquivo"_s);
    choosePath->setObjectName(u"cmdSavePath"_s);
    choosePath->setToolTip(u"Click here to set the save path."_s);
    connect(choosePath, &QPushButton::clicked, this, &SaveForm::cmdSavePath_Click);
    auto *pathLabel = new QLabel(u"Diretório"_s);
    pathLabel->setBuddy(m_path);
    m_path->setObjectName(u"FilePathTextbox"_s);
    m_path->setReadOnly(true);

    auto *ok = new QPushButton(u"OK"_s);
    ok->setObjectName(u"OKButton"_s);
    ok->setDefault(true);
    auto *cancel = new QPushButton(u"Cancela"_s);
    cancel->setObjectName(u"CancelButton"_s);
    connect(ok, &QPushButton::clicked, this, &SaveForm::OKButton_Click);
    connect(cancel, &QPushButton::clicked, this, &SaveForm::CancelButton_Click);

    auto *groups = new QHBoxLayout;
    groups->addWidget(options);
    groups->addWidget(security);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(choosePath);
    layout->addWidget(pathLabel);
    layout->addWidget(m_path);
    layout->addLayout(buttons);

    // Load: centred on the screen, nothing saved yet
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_saved = false;
}

void SaveForm::setFileName(const QString &fileName)
{
    m_fileName = fileName;
    m_path->setText(fileName);
}

void SaveForm::presetFromCube()
{
    Cube *cube = m_cube.data();
    const QString password = cube ? cube->password() : QString();
    if (!password.isEmpty()) {
        m_password->setChecked(true);
        m_passwordText->setText(password);
        m_passwordText->setReadOnly(false);
    } else {
        m_noPassword->setChecked(true);
        m_passwordText->setReadOnly(true);
    }
    m_withData->setChecked(true);
    m_compression->setChecked(true);
    m_path->setText(m_fileName);
}

bool SaveForm::ShowDialog()
{
    presetFromCube();
    exec();
    return m_saved;
}

void SaveForm::optPassword_Click(int index)
{
    if (index == 1) {
        m_passwordText->setReadOnly(false);
        m_passwordText->setFocus();
    } else {
        m_passwordText->setReadOnly(true);
    }
}

void SaveForm::cmdSavePath_Click()
{
    const QString chosen =
        m_ctx.dialogs().saveFileName(u"Where would you like to save your cube file?"_s, m_fileName,
                                     qtFileFilter(u"Microcube File (*.cub)|*.cub"_s));
    if (!chosen.isEmpty())
        setFileName(chosen);
}

int SaveForm::saveKind() const
{
    return (m_withData->isChecked() ? 0 : 1) + (m_compression->isChecked() ? 2 : 0);
}

void SaveForm::OKButton_Click()
{
    if (m_fileName.isEmpty())
        return;
    try {
        if (!m_cube)
            throw Error(ErrorNumber::InvalidInput, u"Não há cubo para salvar."_s, objectName());
        const int kind = saveKind();
        // a password of spaces alone is no password
        m_cube->setPassword(m_noPassword->isChecked() ? QString()
                                                      : m_passwordText->text().trimmed());
        m_saved = m_cube->saveToFile(m_fileName, kind);
        if (m_saved) {
            close();
            return;
        }
        m_ctx.dialogs().message(u"There was a problem saving your cube file."_s, u"Save Failed"_s,
                                Dialogs::Icon::Information);
    } catch (const Error &e) {
        m_saved = false;
        m_ctx.dialogs().message(e.description() + u"\r\n"_s + QString::number(e.number()));
    } catch (const std::exception &e) {
        m_saved = false;
        m_ctx.dialogs().message(QString::fromLocal8Bit(e.what()) + u"\r\n"_s +
                                QString::number(ErrorNumber::InvalidInput));
    }
}

void SaveForm::CancelButton_Click()
{
    m_saved = false;
    close();
}

} // namespace tessal::cube
