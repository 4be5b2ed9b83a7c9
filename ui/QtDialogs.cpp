#include "QtDialogs.h"

#include "AppTitle.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

} // namespace

void QtDialogs::info(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

bool QtDialogs::ask(const QString &text)
{
    QMessageBox box(
        QMessageBox::NoIcon, appTitle(), text, QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::saveFileName(
    const QString &filter, const QString &folder, const QString &proposedName)
{
    const QString start = folder.isEmpty() ? proposedName : QDir(folder).filePath(proposedName);
    const QString path = QFileDialog::getSaveFileName(dialogParent(), appTitle(), start, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
