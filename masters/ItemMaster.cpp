#include "ItemMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString q(const QString &text)
{
    return Database::escape(text);
}

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
    m_sp1->setHeading(1, m_v.nameHeading);
    m_sp1->setHeading(2, QStringLiteral("区分"));
    m_sp1->setHeading(3, QStringLiteral("保管場所"));
    m_sp1->setHeading(4, QStringLiteral("備考"));
    m_sp1->setHeading(5, QStringLiteral("登録処理"));
    m_sp1->setColumnWidthChars(1, 15.37);
    m_sp1->setColumnWidthChars(2, 11.12);
    m_sp1->setColumnWidthChars(3, 15);
    m_sp1->setColumnWidthChars(4, 31.37);
    m_sp1->setTextColumn(1, 0, false);
    m_sp1->setChoiceColumn(2, QString());
    m_sp1->setChoiceColumn(3, QString());
    m_sp1->setTextColumn(4, 0, false);
    m_sp1->setButtonColumn(5, QStringLiteral("登録"));

    m_sp2 = new Grid(6, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    m_sp2->setHeading(1, m_v.nameHeading);
    m_sp2->setHeading(2, QStringLiteral("区分"));
    m_sp2->setHeading(3, QStringLiteral("保管場所"));
    m_sp2->setHeading(4, QStringLiteral("備考"));
    m_sp2->setHeading(5, QStringLiteral("変更処理"));
    m_sp2->setHeading(6, QStringLiteral("削除処理"));
    m_sp2->setColumnWidthChars(1, 15.5);
    m_sp2->setColumnWidthChars(2, 11.12);
    m_sp2->setColumnWidthChars(3, 15);
    m_sp2->setColumnWidthChars(4, 31.12);
    m_sp2->setTextColumn(1, 0, false);
    m_sp2->setChoiceColumn(2, QString());
    m_sp2->setChoiceColumn(3, QString());
    m_sp2->setTextColumn(4, 0, false);
    m_sp2->setButtonColumn(5, QStringLiteral("更新"));
    m_sp2->setButtonColumn(6, QStringLiteral("削除"));

    MasterLayout::fitGrid(m_sp1, 1);
    MasterLayout::fitGrid(m_sp2, 12);

    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MasterLayout::heading(m_v.caption, this));
    layout->addWidget(MasterLayout::label("Label1", QStringLiteral("新規登録"), this));
    layout->addWidget(m_sp1);
    layout->addWidget(MasterLayout::label("Label2", QStringLiteral("変更/削除"), this));
    layout->addWidget(m_sp2, 1);
    layout->addLayout(bottom);

    connect(m_sp1, &Grid::buttonClicked, this, [this](int col, int) {
        if (col == 5)
            registerItem();
    });
    connect(m_sp2, &Grid::buttonClicked, this, [this](int col, int row) {
        if (col == 5)
            updateRow(row);
        else if (col == 6)
            deleteRow(row);
    });
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void ItemMaster::load()
{
    withDb([&] {
        Database db(dbPath());
        const QString selectItems = QStringLiteral("SELECT * FROM ") + m_v.itemTable;
        {
            Cursor c = db.query(selectItems);
            while (!c.eof())
                c.next();
            m_sp2->setMaxRows(c.count());
        }

        QStringList categories;
        for (Cursor c = db.query(QStringLiteral("SELECT K_index FROM Kubun_T")); !c.eof(); c.next())
            categories << c.text(QStringLiteral("K_index"));
        m_categories = categories;
        m_sp1->setColumnChoiceList(2, choiceList(categories));
        m_sp2->setColumnChoiceList(2, choiceList(categories));

        QStringList places;
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next())
            places << c.text(QStringLiteral("H_index"));
        m_places = places;
        m_sp1->setColumnChoiceList(3, choiceList(places));
        m_sp2->setColumnChoiceList(3, choiceList(places));

        QStringList names, kubun, hokan, memos;
        for (Cursor c = db.query(selectItems); !c.eof(); c.next()) {
            names << c.text(m_v.indexColumn);
            kubun << c.text(m_v.kubunColumn);
            hokan << c.text(m_v.hokanColumn);
            memos << c.text(m_v.memoColumn);
        }
        m_sp2->setMaxRows(int(names.size()));
        for (int r = 1; r <= int(names.size()); ++r) {
            m_sp2->setText(1, r, names[r - 1]);
            m_sp2->setText(2, r, positionOf(categories, kubun[r - 1]));
            m_sp2->setText(3, r, positionOf(places, hokan[r - 1]));
            m_sp2->setText(4, r, memos[r - 1]);
        }
        m_rowNames = names;
        m_rowKubun = kubun;
        m_rowHokan = hokan;
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
    if (!withDb([&] {
            Database db(dbPath());
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM ") + m_v.itemTable); !c.eof(); c.next()) {
                if (c.text(m_v.indexColumn) == name) {
                    duplicate = true;
                    return;
                }
            }
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

    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.insert(m_v.itemTable,
                {{m_v.indexColumn, name}, {m_v.kubunColumn, kubun}, {m_v.hokanColumn, hokan},
                    {m_v.memoColumn, memo}});
            db.commit();
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
    const QString memo = m_sp2->text(4, row);
    const QString otherColumns = m_v.kubunColumn + QStringLiteral(" = '") + q(kubun) + QStringLiteral("',")
        + m_v.hokanColumn + QStringLiteral(" = '") + q(hokan) + QStringLiteral("',") + m_v.memoColumn
        + QStringLiteral(" = '") + q(memo) + QStringLiteral("'");

    if (name == oldName) {
        if (!dialogs().ask(QStringLiteral("更新します　よろしいですか？")))
            return;
        if (!withDb([&] {
                Database db(dbPath());
                db.beginWrite();
                db.execute(QStringLiteral("UPDATE ") + m_v.itemTable + QStringLiteral(" SET ") + otherColumns
                    + QStringLiteral(" WHERE (") + m_v.indexColumn + QStringLiteral(" = '") + q(name)
                    + QStringLiteral("')"));
                db.commit();
            }))
            return;
        dialogs().info(QStringLiteral("更新終了しました"));
        load();
        return;
    }

    // An empty name, or one another item has, is refused before anything is written; the
    // edit stays in the cell so that it can be corrected.
    if (name.isEmpty()) {
        dialogs().info(m_v.nameMissing);
        return;
    }
    bool taken = false;
    if (!withDb([&] {
            Database db(dbPath());
            Cursor c = db.query(
                QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '").arg(m_v.indexColumn, m_v.itemTable)
                + q(name) + QStringLiteral("')"));
            taken = !c.eof();
        }))
        return;
    if (taken) {
        dialogs().info(m_v.duplicateOnRename);
        return;
    }

    if (!dialogs().ask(
            QStringLiteral("[") + oldName + QStringLiteral("]を[") + name + m_v.renameQuestionTail))
        return;

    // One transaction: the postings and the item row take the new name together or not at all.
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            bool used = false;
            {
                Cursor c = db.query(
                    QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '").arg(m_v.indexColumn, m_v.postingTable)
                    + q(oldName) + QStringLiteral("')"));
                used = !c.eof();
            }
            if (used) {
                db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(m_v.postingTable, m_v.indexColumn)
                    + q(name) + QStringLiteral("' WHERE %1 = '").arg(m_v.indexColumn) + q(oldName)
                    + QStringLiteral("'"));
            }
            db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(m_v.itemTable, m_v.indexColumn) + q(name)
                + QStringLiteral("',") + otherColumns + QStringLiteral(" WHERE (") + m_v.indexColumn
                + QStringLiteral(" = '") + q(oldName) + QStringLiteral("')"));
            db.commit();
        }))
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
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("DELETE * FROM ") + m_v.itemTable + QStringLiteral(" WHERE (")
                + m_v.indexColumn + QStringLiteral(" = '") + q(oldName) + QStringLiteral("')"));
            db.commit();
        }))
        return;
    dialogs().info(oldName + QStringLiteral("を削除しました"));
    load();
}
