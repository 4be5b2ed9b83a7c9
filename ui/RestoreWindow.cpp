// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestoreWindow.h"

#include "BusyCursor.h"
#include "Grid.h"
#include "LedgerUpgrade.h"

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
    const Backup::LedgerState state = Backup::checkLedger(dbPath());
    if (state == Backup::LedgerState::Damaged || state == Backup::LedgerState::Missing) {
        // Nothing to back up: the damaged file itself is kept aside instead.
        const QString problem = state == Backup::LedgerState::Damaged ? QStringLiteral("が壊れています")
                                                                      : QStringLiteral("がありません");
        if (dialogs().ask(Ledger + problem + QStringLiteral("　") + timeText(chosen.entry.created)
                + QStringLiteral("の状態に置き換えます　よろしいですか？")))
            report(restoreOverDamaged(chosen));
        return;
    }
    if (!dialogs().ask(timeText(chosen.entry.created)
            + QStringLiteral(
                "の状態に戻します　現在の台帳はバックアップしてから置き換えます　よろしいですか？")))
        return;
    Backup::RestoreOutcome outcome;
    {
        const BusyCursor busy;
        outcome = Backup::restore(dbPath(), chosen.entry.path, clock().now());
    }
    // The copy of the ledger showed it damaged where the quick look at start did not.
    if (outcome == Backup::RestoreOutcome::LedgerDamaged) {
        if (!dialogs().ask(Ledger
                + QStringLiteral("が壊れているためバックアップできません　壊れた台帳を別名で残して")
                + timeText(chosen.entry.created) + QStringLiteral("の状態に置き換えますか？")))
            return;
        outcome = restoreOverDamaged(chosen);
    }
    report(outcome);
}

Backup::RestoreOutcome RestoreWindow::restoreOverDamaged(const Row &chosen)
{
    const BusyCursor busy;
    return Backup::restoreOverDamaged(dbPath(), chosen.entry.path, clock().now());
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
        dialogs().info(backupFailedText(Backup::Result {Backup::Outcome::Failed, {}, {}, true}));
        break;
    case Backup::RestoreOutcome::Failed:
        dialogs().info(QStringLiteral("復元できませんでした"));
        break;
    }
    load();
}
