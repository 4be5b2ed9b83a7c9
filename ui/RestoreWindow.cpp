// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestoreWindow.h"

#include "BusyCursor.h"
#include "Grid.h"
#include "LedgerUpgrade.h"
#include "Migrations.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

namespace {

const QString Unreadable = QStringLiteral("読めません");
const QString CannotRestore = QStringLiteral("このバックアップは読めません　復元できません");
const QString BackupFailed = QStringLiteral("バックアップを作成できませんでした");
const QString Ledger = QStringLiteral("台帳ファイル(velmo.mdb)");
constexpr int ButtonCol = 5;

} // namespace

const QString RestoreWindow::ReadOnlyLedger
    = QStringLiteral("台帳ファイル(velmo.mdb)に書き込めないため、この版の表を追加できませんでした");

RestoreWindow::RestoreWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_restore"));
    setWindowTitle(QStringLiteral("バックアップから復元"));

    m_grid = addActionList(ButtonCol, QStringLiteral("復元"), [this](int row) { restore(row); });
    auto *fromFile = new QPushButton(QStringLiteral("ファイルから復元..."), this);
    fromFile->setObjectName(QStringLiteral("cmd_file"));
    connect(fromFile, &QPushButton::clicked, this, &RestoreWindow::restoreFile);
    // Before the stretch of the row that holds "閉じる".
    if (auto *top = qobject_cast<QBoxLayout *>(layout()->itemAt(0)->layout()))
        top->insertWidget(0, fromFile);
    const char *headings[] = {"作成日時", "収入件数", "支出件数", "残高合計"};
    const double widths[] = {19, 10, 10, 16};
    for (int c = 1; c < ButtonCol; ++c) {
        m_grid->setHeading(c, QString::fromUtf8(headings[c - 1]));
        if (c == 1)
            m_grid->setTextColumn(c);
        else
            m_grid->setNumericColumn(
                c, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        m_grid->setColumnWidthChars(c, widths[c - 1]);
    }
    resize(560, 360);
}

QString RestoreWindow::timeText(const QDateTime &at)
{
    return at.toString(QStringLiteral("yyyy/MM/dd H:mm:ss"));
}

QString RestoreWindow::backupFailedText(const Backup::Result &result)
{
    if (!result.ledgerDamaged)
        return BackupFailed;
    return Ledger + QStringLiteral("が壊れているため") + BackupFailed
        + QStringLiteral("　「バックアップから復元」で壊れる前の状態に戻してください");
}

void RestoreWindow::load()
{
    const BusyCursor busy;
    m_rows.clear();
    const QList<Backup::Entry> entries = Backup::list(dbPath());
    m_grid->clearCells();
    m_grid->setMaxRows(int(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        const int r = i + 1;
        const auto summary = Backup::recordedSummary(entries.at(i).path);
        m_rows.append(Row {entries.at(i), summary.has_value()});
        m_grid->setText(1, r, timeText(entries.at(i).created));
        m_grid->setText(2, r, summary ? QString::number(summary->incomes) : Unreadable);
        m_grid->setText(3, r, summary ? QString::number(summary->expenses) : Unreadable);
        m_grid->setText(4, r, summary ? QString::number(summary->balance) : Unreadable);
    }
}

void RestoreWindow::restore(int row)
{
    if (row < 1 || row > m_rows.size())
        return;
    const Row chosen = m_rows.at(row - 1);
    if (!chosen.readable) {
        dialogs().info(CannotRestore);
        return;
    }
    restoreFrom(chosen.entry.path, timeText(chosen.entry.created));
}

QString RestoreWindow::refusalText(Backup::FileCheck check, const QString &path)
{
    const QString file = QStringLiteral("ファイル「") + QDir::toNativeSeparators(path) + QStringLiteral("」");
    switch (check) {
    case Backup::FileCheck::Good:
        return {};
    case Backup::FileCheck::CannotOpen:
        return file
            + QStringLiteral("を台帳として開けません　台帳ファイルかそのバックアップ（.mdb）を選んで下さい");
    case Backup::FileCheck::Damaged:
        return file + QStringLiteral("は壊れているため復元できません　ほかのバックアップを選んで下さい");
    case Backup::FileCheck::NotALedger:
        return file + QStringLiteral("はヴェルモラの台帳ではないため復元できません　")
            + QStringLiteral("台帳ファイルかそのバックアップを選んで下さい");
    case Backup::FileCheck::Newer:
        return file + QStringLiteral("はこの版より新しいヴェルモラの台帳のため復元できません　")
            + QStringLiteral("新しい版のヴェルモラで開いて下さい");
    }
    return {};
}

void RestoreWindow::restoreFile()
{
    const QString second = Backup::secondFolder(dbPath());
    const auto chosen = dialogs().openFileName(QStringLiteral("台帳ファイル (*.mdb);;すべてのファイル (*)"),
        second.isEmpty() || !QFileInfo(second).isDir() ? QDir::homePath() : second);
    if (!chosen)
        return;
    if (QFileInfo(*chosen).canonicalFilePath() == QFileInfo(dbPath()).canonicalFilePath()) {
        dialogs().info(QStringLiteral(
            "使用中の台帳ファイルは選べません　バックアップかほかの台帳ファイルを選んで下さい"));
        return;
    }
    Backup::FileCheck check;
    std::optional<Backup::Summary> summary;
    {
        const BusyCursor busy;
        check = Backup::checkFile(*chosen, Migrations::latest());
        if (check == Backup::FileCheck::Good)
            summary = Backup::summarize(*chosen);
    }
    if (check == Backup::FileCheck::Good && !summary)
        check = Backup::FileCheck::CannotOpen;
    if (check != Backup::FileCheck::Good) {
        dialogs().info(refusalText(check, *chosen));
        return;
    }
    restoreFrom(*chosen,
        QStringLiteral("ファイル「%1」（収入%2件　支出%3件　残高合計\\%4）")
            .arg(QDir::toNativeSeparators(*chosen))
            .arg(summary->incomes)
            .arg(summary->expenses)
            .arg(summary->balance));
}

void RestoreWindow::restoreFrom(const QString &path, const QString &state)
{
    const Backup::LedgerState ledger = Backup::checkLedger(dbPath());
    if (ledger == Backup::LedgerState::Damaged || ledger == Backup::LedgerState::Missing) {
        // Nothing to back up: the damaged file itself is kept aside instead.
        const QString problem = ledger == Backup::LedgerState::Damaged ? QStringLiteral("が壊れています")
                                                                       : QStringLiteral("がありません");
        if (dialogs().ask(Ledger + problem + QStringLiteral("　") + state
                + QStringLiteral("の状態に置き換えます　よろしいですか？")))
            report(restoreOverDamaged(path));
        return;
    }
    if (!dialogs().ask(state
            + QStringLiteral(
                "の状態に戻します　現在の台帳はバックアップしてから置き換えます　よろしいですか？")))
        return;
    Backup::RestoreOutcome outcome;
    {
        const BusyCursor busy;
        outcome = Backup::restore(dbPath(), path, clock().now());
    }
    // The copy of the ledger showed it damaged where the quick look at start did not.
    if (outcome == Backup::RestoreOutcome::LedgerDamaged) {
        if (!dialogs().ask(Ledger
                + QStringLiteral("が壊れているためバックアップできません　壊れた台帳を別名で残して") + state
                + QStringLiteral("の状態に置き換えますか？")))
            return;
        outcome = restoreOverDamaged(path);
    }
    report(outcome);
}

Backup::RestoreOutcome RestoreWindow::restoreOverDamaged(const QString &path)
{
    const BusyCursor busy;
    return Backup::restoreOverDamaged(dbPath(), path, clock().now());
}

void RestoreWindow::report(Backup::RestoreOutcome outcome)
{
    switch (outcome) {
    case Backup::RestoreOutcome::Restored: {
        // A backup from before this version's own tables gets them now, as a start would add them.
        LedgerUpgrade::Result upgrade;
        {
            const BusyCursor busy;
            upgrade = LedgerUpgrade::run(dbPath(), clock().now());
        }
        dialogs().info(QStringLiteral("復元しました"));
        if (upgrade.outcome == LedgerUpgrade::Outcome::BackupFailed)
            dialogs().info(backupFailedText(upgrade.backup));
        else if (upgrade.outcome == LedgerUpgrade::Outcome::ReadOnly)
            dialogs().info(ReadOnlyLedger);
        break;
    }
    case Backup::RestoreOutcome::BadBackup:
        dialogs().info(CannotRestore);
        break;
    case Backup::RestoreOutcome::BackupFailed:
        dialogs().info(BackupFailed);
        break;
    case Backup::RestoreOutcome::LedgerDamaged:
        dialogs().info(backupFailedText(Backup::Result {Backup::Outcome::Failed, {}, {}, true, {}}));
        break;
    case Backup::RestoreOutcome::Failed:
        dialogs().info(QStringLiteral("復元できませんでした"));
        break;
    }
    load();
}
