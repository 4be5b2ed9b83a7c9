// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtDialogs.h"

#include "AppTitle.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

// While a box is open, drops the auto-repeated keys sent to it or its buttons: a key held
// since before the box appeared must not answer it, so every answer takes a fresh press (or a
// click). An accepted shortcut override keeps a held mnemonic from firing as well.
class FreshKeysOnly : public QObject
{
public:
    explicit FreshKeysOnly(QWidget *box)
        : m_box(box)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type t = event->type();
        if (t != QEvent::KeyPress && t != QEvent::KeyRelease && t != QEvent::ShortcutOverride)
            return false;
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || (w != m_box && !m_box->isAncestorOf(w)))
            return false;
        event->accept();
        return true;
    }

private:
    QWidget *m_box;
};

int run(QMessageBox &box)
{
    const FreshKeysOnly guard(&box);
    return box.exec();
}

} // namespace

void QtDialogs::info(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok, dialogParent());
    run(box);
}

bool QtDialogs::ask(const QString &text)
{
    QMessageBox box(
        QMessageBox::NoIcon, appTitle(), text, QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    return run(box) == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::saveFileName(
    const QString &filter, const QString &folder, const QString &proposedName)
{
    const QString start = folder.isEmpty() ? proposedName : QDir(folder).filePath(proposedName);
    // An existing file at the chosen path is replaced without a question, whether or not the
    // typed name carried the extension (the dialog would ask only in the first case).
    const QString path = QFileDialog::getSaveFileName(
        dialogParent(), appTitle(), start, filter, nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::openFileName(const QString &filter, const QString &folder)
{
    const QString path = QFileDialog::getOpenFileName(dialogParent(), appTitle(), folder, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> QtDialogs::folderName(const QString &folder)
{
    const QString path = QFileDialog::getExistingDirectory(dialogParent(), appTitle(), folder);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
