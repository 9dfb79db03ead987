#include "session/ui/ffaleconosco.h"

#include "core/ui/backdroppainter.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

ffaleconosco::ffaleconosco(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(u"ffaleconosco"_s);
    setWindowTitle(u"Fale Conosco"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    BackdropPainter::install(this);
    setStyleSheet(u"QLabel { color: white; }"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    const QList<std::pair<QString, QString>> lines = {
        {u"Label1"_s, u"Tessal Sistemas"_s},
        {u"Label2"_s, u"Suporte ao Tessal Caixa"_s},
        {u"Label3"_s, u"E-mail: suporte@tessal.com.br"_s},
        {u"Label4"_s, u"Telefone: (11) 3333-0000"_s},
        {u"Label5"_s, u"Atendimento de segunda a sexta, das 8h às 18h"_s},
    };
    for (const auto &[name, text] : lines) {
        auto *label = new QLabel(text, this);
        label->setObjectName(name);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    layout->itemAt(0)->widget()->setStyleSheet(u"font-size: 18pt; font-weight: bold;"_s);
    layout->addStretch(1);

    auto *leave = new QPushButton(u"&Sair"_s, this);
    leave->setObjectName(u"cmdSair"_s);
    leave->setMinimumSize(110, 32);
    layout->addWidget(leave, 0, Qt::AlignRight);
    connect(leave, &QPushButton::clicked, this, &QWidget::close);
    resize(460, 280);
}

} // namespace tessal
