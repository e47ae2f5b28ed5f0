// The About box (see aboutdialog.h).
#include "app/aboutdialog.h"

#include "app/appicons.h"
#include "app/guiversion.h"
#include "platform/stringtable.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Varnel 1.0"));

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    auto* version = new QLabel(QString::fromUtf8(varnel::GuiVersion()), this);
    version->setObjectName(QStringLiteral("versionLabel"));

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addWidget(version, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* update = new QPushButton(QStringLiteral("Update"), this);
    ok->setDefault(true);
    update->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(update);
    buttons->addStretch(1);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(282, 141);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(update, &QPushButton::clicked, this, [] { OnUpdate(); });
}

void CAboutDlg::OnUpdate()
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(LoadString(IDS_UPDATE_URL).c_str())));
}
