// SPDX-License-Identifier: GPL-3.0-or-later
#include "CategoryMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterChange.h"
#include "MasterLayout.h"
#include "MasterQueries.h"

#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("入出金区分マスタメンテンナス");

} // namespace

CategoryMaster::CategoryMaster(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_kubunM"));
    setWindowTitle(Caption);

    m_sp1 = new Grid(3, 1, this);
    m_sp1->setObjectName(QStringLiteral("SP1"));
    MasterLayout::setColumns(m_sp1,
        {{QStringLiteral("区分名"), 18}, {QStringLiteral("備考"), 31.75},
            {QStringLiteral("登録処理"), 9.75}});
    m_sp1->setTextColumn(1, 0, false);
    m_sp1->setTextColumn(2, 0, false);
    m_sp1->setButtonColumn(3, QStringLiteral("登録"));

    m_sp2 = new Grid(4, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    MasterLayout::setColumns(m_sp2,
        {{QStringLiteral("区分名"), 18.25}, {QStringLiteral("備考"), 31.75},
            {QStringLiteral("変更処理"), 9.87}, {QStringLiteral("削除処理"), 9.87}});
    m_sp2->setTextColumn(1, 0, false);
    m_sp2->setTextColumn(2, 0, false);
    m_sp2->setButtonColumn(3, QStringLiteral("更新"));
    m_sp2->setButtonColumn(4, QStringLiteral("削除"));

    MasterLayout::fitGrid(m_sp1, 1);
    MasterLayout::fitGrid(m_sp2, 12);

    auto *bottom = MasterLayout::closeRow(this);
    MasterLayout::gridsLayout(this, Caption, m_sp1, QStringLiteral("変更/削除"), m_sp2)->addLayout(bottom);

    MasterLayout::connectButtons(
        this, m_sp1, 3, [this] { registerCategory(); }, m_sp2, 3, [this](int row) { updateRow(row); }, 4,
        [this](int row) { deleteRow(row); });
}

void CategoryMaster::load()
{
    withRead([&](Database &db) {
        const QList<QStringList> rows = MasterQueries::readRows(db, QStringLiteral("SELECT * FROM Kubun_T"),
            {QStringLiteral("K_index"), QStringLiteral("K_memo")});
        MasterLayout::fillGrid(m_sp2, rows);
        m_rowNames.clear();
        for (const QStringList &row : rows)
            m_rowNames << row[0];
    });
}

void CategoryMaster::registerCategory()
{
    const QString name = m_sp1->text(1, 1);
    const QString memo = m_sp1->text(2, 1);

    bool duplicate = false;
    if (!withRead([&](Database &db) {
            duplicate
                = MasterChange::anyRowHas(db, QStringLiteral("Kubun_T"), QStringLiteral("K_index"), name);
        }))
        return;
    if (duplicate) {
        dialogs().info(QStringLiteral("この区分名は既に使用されています 登録できません"));
        return;
    }
    if (name.isEmpty()) {
        dialogs().info(QStringLiteral("区分名が入力されていません"));
        return;
    }
    if (!dialogs().ask(QStringLiteral("登録します　よろしいですか？")))
        return;

    if (!withWrite(QStringLiteral("入出金区分「") + name + QStringLiteral("」を登録"),
            [&](Database &db) { MasterChange::registerCategory(db, name, memo); }))
        return;
    dialogs().info(QStringLiteral("登録完了しました"));
    load();
    m_sp1->setText(1, 1, QString());
    m_sp1->setText(2, 1, QString());
}

void CategoryMaster::updateRow(int row)
{
    if (row < 1 || row > m_rowNames.size())
        return;
    const QString oldName = m_rowNames[row - 1];
    const QString name = m_sp2->text(1, row);
    const QString memo = m_sp2->text(2, row);

    if (name == oldName) {
        // Only the remark changed; "自動" too may have its remark changed.
        if (!dialogs().ask(QStringLiteral("更新します　よろしいですか？")))
            return;
        if (!withWrite(QStringLiteral("入出金区分「") + name + QStringLiteral("」を更新"),
                [&](Database &db) { MasterChange::updateCategory(db, name, memo); }))
            return;
        dialogs().info(QStringLiteral("更新終了しました"));
        load();
        return;
    }

    // An empty name, or one another category has, would leave items without a category or
    // merge two categories: refused before anything is written.
    QString refusal;
    if (!withRead([&](Database &db) { refusal = MasterChange::categoryRenameRefusal(db, oldName, name); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal)) {
        // 自動 keeps its name and the cell shows it again; any other edit stays in the cell so
        // that it can be corrected.
        if (oldName == MasterChange::automaticCategory())
            load();
        return;
    }

    if (!dialogs().ask(QStringLiteral("[") + oldName + QStringLiteral("]を[") + name
            + QStringLiteral("]に変更し、支出マスタ・収入マスタも変更します。　よろしいですか？")))
        return;

    // One transaction: the item masters and the category row change together or not at all.
    if (!withWrite(QStringLiteral("入出金区分「") + oldName + QStringLiteral("」を「") + name
                + QStringLiteral("」に変更"),
            [&](Database &db) { refusal = MasterChange::renameCategory(db, oldName, name, memo); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    dialogs().info(name + QStringLiteral("に変更しました"));
    load();
}

void CategoryMaster::deleteRow(int row)
{
    if (row < 1 || row > m_rowNames.size())
        return;
    // The remembered name: an unsaved edit of the name cell does not change which row goes.
    const QString oldName = m_rowNames[row - 1];
    QString refusal;
    if (!withRead([&](Database &db) { refusal = MasterChange::categoryDeletionRefusal(db, oldName); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    if (!dialogs().ask(oldName + QStringLiteral("を削除します　よろしいですか？")))
        return;
    if (!withWrite(QStringLiteral("入出金区分「") + oldName + QStringLiteral("」を削除"),
            [&](Database &db) { refusal = MasterChange::deleteCategory(db, oldName); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    dialogs().info(oldName + QStringLiteral("を削除しました"));
    load();
}
