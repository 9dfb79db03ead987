#include "cube/ui/passwordform.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal::cube {

PasswordForm::PasswordForm(QWidget *parent)
    : QDialog(parent)
    , m_prompt(new QLabel(this))
    , m_value(new QLineEdit(this))
{
    setObjectName(u"PasswordForm"_s);
    m_prompt->setObjectName(u"PromptLabel"_s);
    m_prompt->setWordWrap(true);
    m_prompt->setBuddy(m_value);
    m_value->setObjectName(u"ValueTextbox"_s);
    m_value->setEchoMode(QLineEdit::Password);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(u"OK"_s, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"OKButton"_s);
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(u"Cancel"_s, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"CancelButton"_s);
    connect(ok, &QPushButton::clicked, this, &PasswordForm::OKButton_Click);
    connect(cancel, &QPushButton::clicked, this, &PasswordForm::CancelButton_Click);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_value);
    layout->addWidget(buttons);
}

std::optional<QString> PasswordForm::GetPassword(const QString &prompt, const QString &title)
{
    setWindowTitle(title);
    m_prompt->setText(prompt);
    m_value->clear();
    m_entered.clear();
    m_accepted = false;
    m_value->setFocus();
    // Escape and the title bar's close end the prompt as "Cancel" does
    exec();
    if (!m_accepted)
        return std::nullopt;
    return m_entered;
}

void PasswordForm::OKButton_Click()
{
    m_entered = m_value->text();
    m_accepted = true;
    accept();
}

void PasswordForm::CancelButton_Click()
{
    m_entered.clear();
    m_accepted = false;
    reject();
}

} // namespace tessal::cube
