// SPDX-License-Identifier: GPL-3.0-or-later
#include "UndoWindow.h"

#include "BusyCursor.h"
#include "Database.h"
#include "Grid.h"

#include <QHBoxLayout>
#include <QHash>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int ButtonCol = 4;

// Runs the taking back and tells its outcome; `expected` is how many actions the question
// named, so that an action another program recorded meanwhile is never taken back unasked.
bool runTakeBack(
    const AppContext &context, const QString &window, qint64 from, int expected, const QString &doneText)
{
    ActionHistory::Outcome outcome;
    try {
        const BusyCursor busy;
        outcome = ActionHistory::takeBackFrom(context.dbPath(), from, window, context.clock->now(), expected);
    } catch (const DbError &e) {
        qInfo("database action failed: %s", e.what());
        context.dialogs->info(QStringLiteral("DB接続失敗"));
        return false;
    }
    if (!outcome.done) {
        context.dialogs->info(outcome.refusal);
        return false;
    }
    context.dialogs->info(doneText);
    return true;
}

} // namespace

UndoWindow::UndoWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_undo"));
    setWindowTitle(QStringLiteral("操作の履歴"));

    m_grid = addActionList(ButtonCol, QStringLiteral("取消"), [this](int row) { takeBack(row); });
    const char *headings[] = {"日時", "画面", "内容"};
    const double widths[] = {19, 14, 40};
    for (int c = 1; c < ButtonCol; ++c) {
        m_grid->setHeading(c, QString::fromUtf8(headings[c - 1]));
        m_grid->setTextColumn(c);
        m_grid->setColumnWidthChars(c, widths[c - 1]);
    }
    resize(860, 420);
}

QString UndoWindow::windowCaption(const QString &recorded)
{
    // Entries hold the caption of the window that acted. Earlier versions, and the main menu,
    // recorded an objectName instead: those are named by the window's caption.
    static const QHash<QString, QString> captions {
        {QStringLiteral("F_main"), QStringLiteral("メインメニュー")},
        {QStringLiteral("F_nyuukin"), QStringLiteral("収入登録画面")},
        {QStringLiteral("F_syukkin"), QStringLiteral("支出登録画面")},
        {QStringLiteral("F_zidou"), QStringLiteral("自動引落処理画面")},
        {QStringLiteral("F_idou"), QStringLiteral("金額移動処理画面")},
        {QStringLiteral("F_tanaorosi"), QStringLiteral("金額棚卸処理画面")},
        {QStringLiteral("F_hokanM"), QStringLiteral("保管場所マスタメンテナンス")},
        {QStringLiteral("F_kubunM"), QStringLiteral("入出金区分マスタメンテンナス")},
        {QStringLiteral("F_nyuM"), QStringLiteral("収入マスタメンテンナス")},
        {QStringLiteral("F_syuM"), QStringLiteral("支出マスタメンテンナス")},
        {QStringLiteral("F_card"), QStringLiteral("カード設定")},
        {QStringLiteral("F_import"), QStringLiteral("明細取込")},
        {QStringLiteral("F_preset"), QStringLiteral("取込形式の登録")},
        {QStringLiteral("F_iten"), QStringLiteral("他の家計簿から移行")},
        {QStringLiteral("F_rule"), QStringLiteral("取込ルール")},
        {QStringLiteral("F_undo"), QStringLiteral("操作の履歴")},
        {QStringLiteral("F_kensaku"), QStringLiteral("明細検索")},
        {QStringLiteral("F_syusei"), QStringLiteral("明細の修正")},
        {QStringLiteral("F_yosan"), QStringLiteral("予算と実績")},
        {QStringLiteral("F_mitosi"), QStringLiteral("残高の見通し")},
    };
    return captions.value(recorded, recorded);
}

void UndoWindow::load()
{
    const BusyCursor busy;
    QList<ActionHistory::Entry> entries;
    if (!withRead([&](Database &db) { entries = ActionHistory::recent(db); }))
        return;
    m_entries = entries;
    m_grid->clearCells();
    m_grid->setMaxRows(int(m_entries.size()));
    for (int i = 0; i < m_entries.size(); ++i) {
        const ActionHistory::Entry &e = m_entries.at(i);
        m_grid->setText(1, i + 1, e.when);
        m_grid->setText(2, i + 1, windowCaption(e.window));
        m_grid->setText(3, i + 1, e.text);
    }
}

void UndoWindow::takeBack(int row)
{
    if (row < 1 || row > m_entries.size())
        return;
    // The rows are newest first: row n and the rows above it go.
    if (!dialogs().ask(QStringLiteral("%1件の操作を取り消します　よろしいですか？").arg(row)))
        return;
    runTakeBack(context(), historyName(), m_entries.at(row - 1).no, row,
        QStringLiteral("%1件の操作を取り消しました").arg(row));
    load();
}

bool UndoWindow::undoNewest(const AppContext &context, const QString &window)
{
    QList<ActionHistory::Entry> newest;
    try {
        Database db(context.dbPath());
        newest = ActionHistory::recent(db, 1);
    } catch (const DbError &e) {
        qInfo("database action failed: %s", e.what());
        context.dialogs->info(QStringLiteral("DB接続失敗"));
        return false;
    }
    if (newest.isEmpty()) {
        context.dialogs->info(QStringLiteral("取り消せる操作がありません"));
        return false;
    }
    const QString text = newest.first().text;
    if (!context.dialogs->ask(text + QStringLiteral("を取り消します　よろしいですか？")))
        return false;
    return runTakeBack(
        context, windowCaption(window), newest.first().no, 1, text + QStringLiteral("を取り消しました"));
}
