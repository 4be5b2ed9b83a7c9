// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackupSettingsWindow.h"

#include "BusyCursor.h"
#include "RestoreWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton *addButton(QWidget *parent, QBoxLayout *row, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    row->addWidget(b);
    return b;
}

// True when `path` is `folder` or lies inside it.
bool within(const QString &path, const QString &folder)
{
    const QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return p == f || p.startsWith(f + u'/');
}

} // namespace

BackupSettingsWindow::BackupSettingsWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_bkset"));
    setWindowTitle(QStringLiteral("バックアップの設定"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 12, 16, 16);
    outer->setSpacing(10);
    auto *top = new QHBoxLayout;
    top->addWidget(makeHeading("Label1", QStringLiteral("バックアップの設定"), this), 1);
    connect(addButton(this, top, "cmd_end", QStringLiteral("閉じる")), &QPushButton::clicked, this,
        &QWidget::close);
    outer->addLayout(top);

    auto *about
        = new QLabel(QStringLiteral("バックアップは台帳と同じディスクの backup フォルダーに作成されます。"
                                    "ディスクの故障や盗難に備えて、別のディスク・USBメモリ・"
                                    "クラウドと同期するフォルダーを指定すると、"
                                    "確認済みのバックアップを毎回そこにもコピーします。"),
            this);
    about->setObjectName(QStringLiteral("Label2"));
    about->setWordWrap(true);
    outer->addWidget(about);

    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(QStringLiteral("コピー先フォルダー"), this);
    caption->setObjectName(QStringLiteral("Label3"));
    row->addWidget(caption);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("txt_folder"));
    m_folder->setMinimumWidth(320);
    caption->setBuddy(m_folder);
    row->addWidget(m_folder, 1);
    connect(addButton(this, row, "cmd_sansyou", QStringLiteral("参照...")), &QPushButton::clicked, this,
        &BackupSettingsWindow::choose);
    outer->addLayout(row);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("lbl_state"));
    m_state->setWordWrap(true);
    outer->addWidget(m_state);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    connect(addButton(this, buttons, "cmd_hozon", QStringLiteral("保存")), &QPushButton::clicked, this,
        &BackupSettingsWindow::save);
    connect(addButton(this, buttons, "cmd_kaijo", QStringLiteral("コピーをやめる")), &QPushButton::clicked,
        this, &BackupSettingsWindow::stop);
    outer->addLayout(buttons);
    outer->addStretch(1);
    resize(620, 260);
}

QString BackupSettingsWindow::copyFailedText(const Backup::Copy &copy)
{
    const QString where = QStringLiteral("バックアップのコピー先「") + QDir::toNativeSeparators(copy.folder)
        + QStringLiteral("」");
    const QString local = QStringLiteral("　backup フォルダーのバックアップは作成済みです");
    switch (copy.outcome) {
    case Backup::CopyOutcome::None:
    case Backup::CopyOutcome::Copied:
        return {};
    case Backup::CopyOutcome::Missing:
        return where + QStringLiteral("が見つからないため、コピーできませんでした　")
            + QStringLiteral("ディスクやUSBメモリをつないで下さい") + local;
    case Backup::CopyOutcome::ReadOnly:
        return where + QStringLiteral("に書き込めないため、コピーできませんでした　")
            + QStringLiteral("書き込めるフォルダーを指定して下さい") + local;
    case Backup::CopyOutcome::Full:
        return where + QStringLiteral("の空きが足りないため、コピーできませんでした　")
            + QStringLiteral("空きを作るか、別のフォルダーを指定して下さい") + local;
    case Backup::CopyOutcome::Failed:
        break;
    }
    return where + QStringLiteral("にコピーできませんでした　フォルダーを確かめて下さい") + local;
}

void BackupSettingsWindow::load()
{
    m_folder->setText(QDir::toNativeSeparators(Backup::secondFolder(dbPath())));
    showState();
}

void BackupSettingsWindow::showState()
{
    const QString folder = Backup::secondFolder(dbPath());
    if (folder.isEmpty()) {
        m_state->setText(QStringLiteral("コピー先は指定されていません"));
        return;
    }
    const QList<Backup::Entry> copies = Backup::listFolder(folder);
    m_state->setText(copies.isEmpty() ? QStringLiteral("コピー先にはまだバックアップがありません")
                                      : QStringLiteral("コピー先の最新のバックアップ：")
                + RestoreWindow::timeText(copies.first().created));
}

void BackupSettingsWindow::choose()
{
    const QString current = m_folder->text().trimmed();
    if (const auto chosen = dialogs().folderName(current.isEmpty() ? QDir::homePath() : current))
        m_folder->setText(QDir::toNativeSeparators(*chosen));
}

void BackupSettingsWindow::save()
{
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(m_folder->text().trimmed()));
    if (m_folder->text().trimmed().isEmpty()) {
        dialogs().info(QStringLiteral("コピー先フォルダーを指定して下さい"));
        return;
    }
    if (QDir::isRelativePath(folder)) {
        dialogs().info(
            QStringLiteral("コピー先フォルダーは「参照...」で選ぶか、/ から始まる形で指定して下さい"));
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        dialogs().info(QStringLiteral("フォルダー「") + QDir::toNativeSeparators(folder)
            + QStringLiteral("」が見つかりません　ディスクやUSBメモリをつないでから指定して下さい"));
        return;
    }
    // A copy beside the ledger is lost with it; backup/ is rotated as the ledger's own.
    if (within(folder, context().appDir)) {
        dialogs().info(QStringLiteral("台帳と同じフォルダーやその中は指定できません　")
            + QStringLiteral("別のディスクやUSBメモリのフォルダーを指定して下さい"));
        return;
    }
    if (!dialogs().ask(QStringLiteral("バックアップのたびに「") + QDir::toNativeSeparators(folder)
            + QStringLiteral("」にもコピーします　よろしいですか？")))
        return;
    if (!Backup::setSecondFolder(dbPath(), folder)) {
        dialogs().info(QStringLiteral("設定を保存できませんでした"));
        return;
    }
    // The newest backup goes there now (a new one first when the ledger changed since).
    Backup::Result r;
    {
        const BusyCursor busy;
        r = Backup::take(dbPath(), clock().now());
    }
    const QString saved = QStringLiteral("設定を保存しました");
    if (r.outcome == Backup::Outcome::Failed)
        dialogs().info(saved + QStringLiteral("　") + RestoreWindow::backupFailedText(r));
    else if (const QString failed = copyFailedText(r.second); !failed.isEmpty())
        dialogs().info(saved + QStringLiteral("　") + failed);
    else if (r.second.outcome == Backup::CopyOutcome::Copied)
        dialogs().info(saved + QStringLiteral("　最新のバックアップをコピーしました"));
    else
        dialogs().info(saved);
    load();
}

void BackupSettingsWindow::stop()
{
    if (Backup::secondFolder(dbPath()).isEmpty()) {
        dialogs().info(QStringLiteral("コピー先は指定されていません"));
        return;
    }
    if (!dialogs().ask(
            QStringLiteral("バックアップのコピーをやめます　コピー先のファイルは残ります　よろしいですか？")))
        return;
    if (!Backup::setSecondFolder(dbPath(), QString()))
        dialogs().info(QStringLiteral("設定を保存できませんでした"));
    load();
}
