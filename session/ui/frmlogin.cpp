#include "session/ui/frmlogin.h"

#include "core/appcontext.h"
#include "core/dialogs.h"
#include "core/ui/backdroppainter.h"
#include "registers/registers.h"
#include "session/ui/menuicons.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

const QString kUserToolTip = u"Escolha o usuário do sistema"_s;

QLabel *caption(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setStyleSheet(u"color: white; font-weight: bold;"_s);
    return label;
}

} // namespace

frmLogin::frmLogin(AppContext &ctx, ModalRunner runModal, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_runModal(std::move(runModal))
    , m_list(new QListWidget(this))
    , m_userName(new QComboBox(this))
    , m_password(new QLineEdit(this))
{
    setObjectName(u"frmLogin"_s);
    setWindowTitle(u"Login"_s);
    BackdropPainter::install(this);

    m_list->setObjectName(u"DBList1"_s);
    m_list->setToolTip(kUserToolTip);
    m_list->setFixedWidth(190);
    m_userName->setObjectName(u"txtusername"_s);
    m_userName->setEditable(true);
    m_userName->setInsertPolicy(QComboBox::NoInsert);
    m_userName->setToolTip(kUserToolTip);
    m_password->setObjectName(u"txtPassword"_s);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setToolTip(u"Digite a senha do usuário selecionado."_s);

    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setObjectName(u"cmdOK"_s);
    ok->setDefault(true);
    auto *cancel = new QPushButton(u"Cancel"_s, this);
    cancel->setObjectName(u"cmdCancel"_s);
    cancel->setAutoDefault(false);
    for (QPushButton *button : {ok, cancel})
        button->setMinimumSize(100, 30);

    auto *picture = new QLabel(this);
    picture->setObjectName(u"Image1"_s);
    picture->setPixmap(productPixmap(72));

    auto *fields = new QGridLayout;
    fields->addWidget(picture, 0, 0, 1, 2, Qt::AlignLeft);
    QLabel *userCaption = caption(u"lblLabels0"_s, u"&Usuário:"_s, this);
    userCaption->setBuddy(m_userName);
    QLabel *passwordCaption = caption(u"lblLabels1"_s, u"&Senha:"_s, this);
    passwordCaption->setBuddy(m_password);
    fields->addWidget(userCaption, 1, 0);
    fields->addWidget(m_userName, 1, 1);
    fields->addWidget(passwordCaption, 2, 0);
    fields->addWidget(m_password, 2, 1);
    fields->setRowStretch(3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    fields->addLayout(buttons, 4, 0, 1, 2);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    layout->addWidget(m_list);
    layout->addLayout(fields, 1);
    resize(520, 280);

    connect(m_list, &QListWidget::itemClicked, this, &frmLogin::DBList1_Click);
    connect(m_list, &QListWidget::itemActivated, this, &frmLogin::DBList1_Click);
    connect(ok, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
}

void frmLogin::readUsers()
{
    m_users.load(m_ctx.session().cashDatabasePath());
    const QString typed = m_userName->currentText();
    m_list->clear();
    m_userName->clear();
    for (const LoginUser &user : m_users.users()) {
        m_list->addItem(user.name);
        m_userName->addItem(user.name);
    }
    m_userName->setEditText(typed);
}

void frmLogin::Form_Load()
{
    readUsers();
    if (m_users.isEmpty()) {
        m_ctx.dialogs().message(
            u"Não existe usuario cadastrado!!! Antes de continuar preencha a senha do supervisor "
            "click em incluir !! Obrigado Bom Teste"_s);
        std::unique_ptr<RegisterWindow> users(fusuarios(m_ctx, nullptr));
        if (auto *name = users->findChild<QLineEdit *>(u"usuario"_s))
            name->setText(u"Supervisor"_s);
        if (m_runModal)
            m_runModal(users.get());
        users.reset();
        readUsers();
    }
    m_userName->setEditText(loggedOnUserName());
}

void frmLogin::DBList1_Click()
{
    if (QListWidgetItem *item = m_list->currentItem())
        m_userName->setEditText(item->text());
    m_password->setFocus();
}

void frmLogin::cmdOK_Click()
{
    const QString typedName = m_userName->currentText();
    const std::optional<LoginUser> user = m_users.check(typedName, m_password->text());
    if (!user) {
        m_ctx.dialogs().message(u"Senha incorreta Tente Novamente!"_s, u"Login"_s);
        m_password->setFocus();
        m_password->selectAll();
        return;
    }
    m_ok = true;
    hide();
    HandlerSteps steps(m_ctx.errors(), objectName());
    steps.run([&] { recordLogin(m_ctx, *user, typedName); });
    accept();
}

void frmLogin::cmdCancel_Click()
{
    m_ok = false;
    reject();
}

} // namespace tessal
