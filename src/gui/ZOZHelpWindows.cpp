#include "ZOZHelpWindows.h"

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace ZOZ {

namespace {

// Widgets need a widget application; a console start has none.
bool canShowWindows()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

QString windowTitleFor(const char *what)
{
    return QCoreApplication::applicationName() + QLatin1String(" - ") + QCoreApplication::translate("General", what);
}

} // namespace

void HelpWindows::install()
{
    SettingsReport::setWindowPresenter(&HelpWindows::show);
}

void HelpWindows::uninstall()
{
    SettingsReport::setWindowPresenter({});
}

bool HelpWindows::show(SettingsReport::Window window, const QString &text)
{
    return window == SettingsReport::Window::Help ? showHelpWindow(text) : showVersionWindow(text);
}

bool HelpWindows::showHelpWindow(const QString &text)
{
    if (!canShowWindows())
        return false;
    QDialog dialog;
    dialog.setWindowTitle(windowTitleFor("Help"));
    dialog.setFixedWidth(640);
    dialog.setMinimumHeight(420);
    auto *layout = new QVBoxLayout(&dialog);
    auto *view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    view->setFont(QFont(QStringLiteral("Courier New")));
    layout->addWidget(view);
    auto *ok = new QPushButton(QStringLiteral("Ok"), &dialog);
    ok->setFixedWidth(120);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    ok->setFocus();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        dialog.adjustSize();
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog.move(frame.topLeft());
    }
    dialog.exec();
    return true;
}

bool HelpWindows::showVersionWindow(const QString &text)
{
    if (!canShowWindows())
        return false;
    QMessageBox box;
    box.setWindowTitle(windowTitleFor("Version"));
    box.setText(text);
    box.setFont(QFont(QStringLiteral("Courier New")));
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        grid->addItem(new QSpacerItem(640, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
    return true;
}

} // namespace ZOZ
