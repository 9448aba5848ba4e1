#include "app/about_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/qt_text.h"
#include "markup/qxlang.h"

namespace {
constexpr int phrase_ok = 13;
constexpr int phrase_title = 606;
constexpr int phrase_description = 607;
constexpr int phrase_version = 608;
constexpr int phrase_licence = 609;
}  // namespace

TAboutBox::TAboutBox(const qvtf::qxlang* language, QWidget* parent) : QDialog(parent)
{
    auto phrase = [language](int number) { return language ? to_qt(language->text(number)) : QString(); };
    setObjectName("TAboutBox");
    setWindowTitle(phrase(phrase_title));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    const QIcon window_icon = parent ? parent->windowIcon() : QApplication::windowIcon();
    const QIcon shown = window_icon.isNull() ? style()->standardIcon(QStyle::SP_DriveNetIcon) : window_icon;
    icon->setPixmap(shown.pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);

    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(QStringLiteral("qvtf"), this);
    name->setObjectName("lProgramName");
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(phrase(phrase_version) + QString::fromLatin1(qvtf_version), this);
    version->setObjectName("lVersion");
    auto* description = new QLabel(phrase(phrase_description), this);
    description->setObjectName("lDescription");
    description->setWordWrap(true);
    auto* licence = new QLabel(phrase(phrase_licence), this);
    licence->setObjectName("lLicence");
    licence->setWordWrap(true);
    for (QLabel* l : {name, version, description, licence}) {
        l->setTextFormat(Qt::PlainText);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(l);
    }
    top->addLayout(texts, 1);
    layout->addLayout(top);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(phrase(phrase_ok), this);
    ok->setObjectName("butOK");
    ok->setDefault(true);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    description->setMinimumWidth(360);
    ok->setFocus();
}
