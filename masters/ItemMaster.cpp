// SPDX-License-Identifier: GPL-3.0-or-later
#include "ItemMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterChange.h"
#include "MasterLayout.h"
#include "MasterQueries.h"

#include <QVBoxLayout>

namespace {

// The list text of a choice cell: every entry followed by a TAB.
QString choiceList(const QStringList &names)
{
    QString list;
    for (const QString &n : names)
        list += n + u'\t';
    return list;
}

// The position of a stored name in its list, as a choice cell holds it; "" when the name is
// not in the list.
QString positionOf(const QStringList &names, const QString &name)
{
    const int i = names.indexOf(name);
    return i < 0 ? QString() : QString::number(i);
}

} // namespace

ItemMaster::ItemMaster(const AppContext &context, const ItemVocabulary &vocabulary, QWidget *parent)
    : TaskWindow(context, parent)
    , m_v(vocabulary)
{
    setObjectName(m_v.windowName);
    setWindowTitle(m_v.caption);

    m_sp1 = new Grid(5, 1, this);
    m_sp1->setObjectName(QStringLiteral("SP1"));
    MasterLayout::setColumns(m_sp1,
        {{m_v.nameHeading, 15.37}, {QStringLiteral("区分"), 11.12}, {QStringLiteral("保管場所"), 15},
            {QStringLiteral("備考"), 31.37}, {QStringLiteral("登録処理")}});
    m_sp1->setTextColumn(1, 0, false);
    m_sp1->setChoiceColumn(2, QString());
    m_sp1->setChoiceColumn(3, QString());
    m_sp1->setTextColumn(4, 0, false);
    m_sp1->setButtonColumn(5, QStringLiteral("登録"));

    m_sp2 = new Grid(6, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    MasterLayout::setColumns(m_sp2,
        {{m_v.nameHeading, 15.5}, {QStringLiteral("区分"), 11.12}, {QStringLiteral("保管場所"), 15},
            {QStringLiteral("備考"), 31.12}, {QStringLiteral("変更処理")}, {QStringLiteral("削除処理")}});
    m_sp2->setTextColumn(1, 0, false);
    m_sp2->setChoiceColumn(2, QString());
    m_sp2->setChoiceColumn(3, QString());
    m_sp2->setTextColumn(4, 0, false);
    m_sp2->setButtonColumn(5, QStringLiteral("更新"));
    m_sp2->setButtonColumn(6, QStringLiteral("削除"));

    MasterLayout::fitGrid(m_sp1, 1);
    MasterLayout::fitGrid(m_sp2, 12);

    auto *bottom = MasterLayout::closeRow(this);
    MasterLayout::gridsLayout(this, m_v.caption, m_sp1, QStringLiteral("変更/削除"), m_sp2)
        ->addLayout(bottom);

    MasterLayout::connectButtons(
        this, m_sp1, 5, [this] { registerItem(); }, m_sp2, 5, [this](int row) { updateRow(row); }, 6,
        [this](int row) { deleteRow(row); });
}

void ItemMaster::load()
{
    withRead([&](Database &db) {
        const QString selectItems = QStringLiteral("SELECT * FROM ") + m_v.itemTable;
        {
            Cursor c = db.query(selectItems);
            while (!c.eof())
                c.next();
            m_sp2->setMaxRows(c.count());
        }

        const QStringList categories
            = MasterQueries::readColumn(db, QStringLiteral("Kubun_T"), QStringLiteral("K_index"));
        m_categories = categories;
        m_sp1->setColumnChoiceList(2, choiceList(categories));
        m_sp2->setColumnChoiceList(2, choiceList(categories));

        const QStringList places
            = MasterQueries::readColumn(db, QStringLiteral("Hokan_T"), QStringLiteral("H_index"));
        m_places = places;
        m_sp1->setColumnChoiceList(3, choiceList(places));
        m_sp2->setColumnChoiceList(3, choiceList(places));

        QList<QStringList> rows = MasterQueries::readRows(
            db, selectItems, {m_v.indexColumn, m_v.kubunColumn, m_v.hokanColumn, m_v.memoColumn});
        m_rowNames.clear();
        m_rowKubun.clear();
        m_rowHokan.clear();
        for (QStringList &row : rows) {
            m_rowNames << row[0];
            m_rowKubun << row[1];
            m_rowHokan << row[2];
            // The choice cells hold each name's position in its list.
            row[1] = positionOf(categories, row[1]);
            row[2] = positionOf(places, row[2]);
        }
        MasterLayout::fillGrid(m_sp2, rows);
    });
}

QString ItemMaster::chosenName(
    const Grid *grid, int col, int row, const QStringList &names, const QString &stored)
{
    bool ok = false;
    const int pos = grid->text(col, row).toInt(&ok);
    return ok && pos >= 0 && pos < names.size() ? names[pos] : stored;
}

void ItemMaster::registerItem()
{
    const QString name = m_sp1->text(1, 1);
    const QString kubun = chosenName(m_sp1, 2, 1, m_categories, QString());
    const QString hokan = chosenName(m_sp1, 3, 1, m_places, QString());
    const bool kubunChosen = !m_sp1->text(2, 1).isEmpty();
    const bool hokanChosen = !m_sp1->text(3, 1).isEmpty();
    const QString memo = m_sp1->text(4, 1);

    bool duplicate = false;
    if (!withRead([&](Database &db) {
            duplicate = MasterChange::anyRowHas(db, m_v.itemTable, m_v.indexColumn, name);
        }))
        return;
    if (duplicate) {
        dialogs().info(m_v.duplicateOnRegister);
        return;
    }
    if (name.isEmpty()) {
        dialogs().info(m_v.nameMissing);
        return;
    }
    if (!kubunChosen) {
        dialogs().info(QStringLiteral("区分が入力されていません"));
        return;
    }
    if (!hokanChosen) {
        dialogs().info(QStringLiteral("保管場所が入力されていません"));
        return;
    }
    if (!dialogs().ask(QStringLiteral("登録します　よろしいですか？")))
        return;

    if (!withWrite(
            m_v.nameHeading + QStringLiteral("「") + name + QStringLiteral("」を登録"), [&](Database &db) {
                MasterChange::registerItem(db, m_v.postingTable, {name, kubun, hokan, memo});
            }))
        return;
    dialogs().info(QStringLiteral("登録完了しました"));
    load();
    for (int c = 1; c <= 4; ++c)
        m_sp1->setText(c, 1, QString());
}

void ItemMaster::updateRow(int row)
{
    if (row < 1 || row > m_rowNames.size())
        return;
    const QString oldName = m_rowNames[row - 1];
    const QString name = m_sp2->text(1, row);
    // A choice cell showing no entry keeps what the row has stored: nothing is blanked
    // unless the user picks another entry.
    const QString kubun = chosenName(m_sp2, 2, row, m_categories, m_rowKubun[row - 1]);
    const QString hokan = chosenName(m_sp2, 3, row, m_places, m_rowHokan[row - 1]);
    const MasterChange::Item item {name, kubun, hokan, m_sp2->text(4, row)};

    if (name == oldName) {
        if (!dialogs().ask(QStringLiteral("更新します　よろしいですか？")))
            return;
        if (!withWrite(m_v.nameHeading + QStringLiteral("「") + name + QStringLiteral("」を更新"),
                [&](Database &db) { MasterChange::updateItem(db, m_v.postingTable, item); }))
            return;
        dialogs().info(QStringLiteral("更新終了しました"));
        load();
        return;
    }

    // An empty name, or one another item has, is refused before anything is written; the
    // edit stays in the cell so that it can be corrected.
    QString refusal;
    if (!withRead([&](Database &db) {
            refusal = MasterChange::itemRenameRefusal(db, m_v.postingTable, oldName, name);
        }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;

    if (!dialogs().ask(
            QStringLiteral("[") + oldName + QStringLiteral("]を[") + name + m_v.renameQuestionTail))
        return;

    // One transaction: the postings and the item row take the new name together or not at all.
    if (!withWrite(m_v.nameHeading + QStringLiteral("「") + oldName + QStringLiteral("」を「") + name
                + QStringLiteral("」に変更"),
            [&](Database &db) { refusal = MasterChange::renameItem(db, m_v.postingTable, oldName, item); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    dialogs().info(name + QStringLiteral("に変更しました"));
    load();
}

void ItemMaster::deleteRow(int row)
{
    if (row < 1 || row > m_rowNames.size())
        return;
    const QString oldName = m_rowNames[row - 1];
    if (!dialogs().ask(oldName + QStringLiteral("を削除します　よろしいですか？")))
        return;
    // The item's postings stay as they are.
    if (!withWrite(m_v.nameHeading + QStringLiteral("「") + oldName + QStringLiteral("」を削除"),
            [&](Database &db) { MasterChange::deleteItem(db, m_v.postingTable, oldName); }))
        return;
    dialogs().info(oldName + QStringLiteral("を削除しました"));
    load();
}
