#include "session/ui/frmsplash.h"

#include "core/appinfo.h"
#include "session/ui/menuicons.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tessal {

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"frmSplash"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(u"frmSplash { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                  "stop:0 #003c46, stop:1 #00b4c8); border: 2px solid #00323a; }"
                  "QLabel { color: white; }"_s);
    setAttribute(Qt::WA_StyledBackground, true);

    auto *picture = new QLabel(this);
    picture->setObjectName(u"Image1"_s);
    picture->setPixmap(productPixmap(96));
    picture->setAlignment(Qt::AlignCenter);
    auto *product = new QLabel(u"Tessal Caixa"_s, this);
    product->setObjectName(u"lblProductName"_s);
    product->setStyleSheet(u"font-size: 28pt; font-weight: bold;"_s);
    product->setAlignment(Qt::AlignCenter);
    auto *system = new QLabel(u"SISTEMA CONTROLE DE CAIXA"_s, this);
    system->setObjectName(u"lblSistema"_s);
    system->setStyleSheet(u"font-size: 12pt;"_s);
    system->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(versionText(), this);
    version->setObjectName(u"versao"_s);
    version->setAlignment(Qt::AlignRight);
    auto *loading = new QLabel(u"Carregando..."_s, this);
    loading->setObjectName(u"lblCarregando"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 16);
    layout->addWidget(picture);
    layout->addWidget(product);
    layout->addWidget(system);
    layout->addStretch(1);
    layout->addWidget(loading);
    layout->addWidget(version);
    resize(460, 300);
}

} // namespace tessal
