#include "CategoryMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("入出金区分マスタメンテンナス");
const QString Automatic = QStringLiteral("自動");

QString q(const QString &text)
{
    return Database::escape(text);
}

} // namespace

CategoryMaster::CategoryMaster(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_kubunM"));
    setWindowTitle(Caption);

    m_sp1 = new Grid(3, 1, this);
    m_sp1->setObjectName(QStringLiteral("SP1"));
    m_sp1->setHeading(1, QStringLiteral("区分名"));
    m_sp1->setHeading(2, QStringLiteral("備考"));
    m_sp1->setHeading(3, QStringLiteral("登録処理"));
    m_sp1->setColumnWidthChars(1, 18);
    m_sp1->setColumnWidthChars(2, 31.75);
    m_sp1->setColumnWidthChars(3, 9.75);
    m_sp1->setTextColumn(1, 0, false);
    m_sp1->setTextColumn(2, 0, false);
    m_sp1->setButtonColumn(3, QStringLiteral("登録"));

    m_sp2 = new Grid(4, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    m_sp2->setHeading(1, QStringLiteral("区分名"));
    m_sp2->setHeading(2, QStringLiteral("備考"));
    m_sp2->setHeading(3, QStringLiteral("変更処理"));
    m_sp2->setHeading(4, QStringLiteral("削除処理"));
    m_sp2->setColumnWidthChars(1, 18.25);
    m_sp2->setColumnWidthChars(2, 31.75);
    m_sp2->setColumnWidthChars(3, 9.87);
    m_sp2->setColumnWidthChars(4, 9.87);
    m_sp2->setTextColumn(1, 0, false);
    m_sp2->setTextColumn(2, 0, false);
    m_sp2->setButtonColumn(3, QStringLiteral("更新"));
    m_sp2->setButtonColumn(4, QStringLiteral("削除"));

    MasterLayout::fitGrid(m_sp1, 1);
    MasterLayout::fitGrid(m_sp2, 12);

    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MasterLayout::heading(Caption, this));
    layout->addWidget(MasterLayout::label("Label1", QStringLiteral("新規登録"), this));
    layout->addWidget(m_sp1);
    layout->addWidget(MasterLayout::label("Label2", QStringLiteral("変更/削除"), this));
    layout->addWidget(m_sp2, 1);
    layout->addLayout(bottom);

    connect(m_sp1, &Grid::buttonClicked, this, [this](int col, int) {
        if (col == 3)
            registerCategory();
    });
    connect(m_sp2, &Grid::buttonClicked, this, [this](int col, int row) {
        if (col == 3)
            updateRow(row);
        else if (col == 4)
            deleteRow(row);
    });
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void CategoryMaster::load()
{
    withDb([&] {
        Database db(dbPath());
        QStringList names, memos;
        for (Cursor c = db.query(QStringLiteral("SELECT * FROM Kubun_T")); !c.eof(); c.next()) {
            names << c.text(QStringLiteral("K_index"));
            memos << c.text(QStringLiteral("K_memo"));
        }
        m_sp2->setMaxRows(int(names.size()));
        for (int r = 1; r <= int(names.size()); ++r) {
            m_sp2->setText(1, r, names[r - 1]);
            m_sp2->setText(2, r, memos[r - 1]);
        }
        m_rowNames = names;
    });
}

void CategoryMaster::registerCategory()
{
    const QString name = m_sp1->text(1, 1);
    const QString memo = m_sp1->text(2, 1);

    bool duplicate = false;
    if (!withDb([&] {
            Database db(dbPath());
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Kubun_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("K_index")) == name) {
                    duplicate = true;
                    return;
                }
            }
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

    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.insert(QStringLiteral("Kubun_T"),
                {{QStringLiteral("K_index"), name}, {QStringLiteral("K_memo"), memo}});
            db.commit();
        }))
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
        if (!withDb([&] {
                Database db(dbPath());
                db.beginWrite();
                db.execute(QStringLiteral("UPDATE Kubun_T SET K_memo = '") + q(memo)
                    + QStringLiteral("' WHERE (K_index = '") + q(name) + QStringLiteral("')"));
                db.commit();
            }))
            return;
        dialogs().info(QStringLiteral("更新終了しました"));
        load();
        return;
    }

    if (oldName == Automatic) {
        dialogs().info(QStringLiteral("この区分名(自動)は変更できません"));
        load();
        return;
    }
    // An empty name, or one another category has, would leave items without a category or
    // merge two categories; both are refused before anything is written. The edit stays in
    // the cell so that it can be corrected.
    if (name.isEmpty()) {
        dialogs().info(QStringLiteral("区分名が入力されていません"));
        return;
    }
    bool taken = false;
    if (!withDb([&] {
            Database db(dbPath());
            Cursor c = db.query(QStringLiteral("SELECT K_index FROM Kubun_T WHERE (K_index = '") + q(name)
                + QStringLiteral("')"));
            taken = !c.eof();
        }))
        return;
    if (taken) {
        dialogs().info(QStringLiteral("この区分名は既に使用されています 変更できません"));
        return;
    }

    if (!dialogs().ask(QStringLiteral("[") + oldName + QStringLiteral("]を[") + name
            + QStringLiteral("]に変更し、支出マスタ・収入マスタも変更します。　よろしいですか？")))
        return;

    // One transaction: the item masters and the category row change together or not at all.
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            bool used = false;
            {
                Cursor c = db.query(QStringLiteral("SELECT N_kubun FROM Nyuukin_T WHERE (N_kubun = '")
                    + q(oldName) + QStringLiteral("')"));
                used = !c.eof();
            }
            if (used) {
                db.execute(QStringLiteral("UPDATE Nyuukin_T SET N_kubun = '") + q(name)
                    + QStringLiteral("' WHERE N_kubun = '") + q(oldName) + QStringLiteral("'"));
            }
            {
                Cursor c = db.query(QStringLiteral("SELECT S_kubun FROM Syukkin_T WHERE (S_kubun = '")
                    + q(oldName) + QStringLiteral("')"));
                used = !c.eof();
            }
            if (used) {
                db.execute(QStringLiteral("UPDATE Syukkin_T SET S_kubun = '") + q(name)
                    + QStringLiteral("' WHERE S_kubun = '") + q(oldName) + QStringLiteral("'"));
            }
            db.execute(QStringLiteral("UPDATE Kubun_T SET K_index = '") + q(name)
                + QStringLiteral("',K_memo = '") + q(memo) + QStringLiteral("' WHERE K_index = '")
                + q(oldName) + QStringLiteral("'"));
            db.commit();
        }))
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
    if (oldName == Automatic) {
        dialogs().info(QStringLiteral("この区分名(自動)は削除できません"));
        return;
    }

    QString refusal;
    if (!withDb([&] {
            Database db(dbPath());
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Syukkin_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("S_kubun")) == oldName) {
                    refusal = QStringLiteral("この区分名は支出ﾏｽﾀで使用されています 削除できません");
                    return;
                }
            }
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Nyuukin_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("N_kubun")) == oldName) {
                    refusal = QStringLiteral("この区分名は収入ﾏｽﾀで使用されています 削除できません");
                    return;
                }
            }
        }))
        return;
    if (!refusal.isEmpty()) {
        dialogs().info(refusal);
        return;
    }
    if (!dialogs().ask(oldName + QStringLiteral("を削除します　よろしいですか？")))
        return;
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("DELETE K_index FROM kubun_T WHERE (K_index = '") + q(oldName)
                + QStringLiteral("')"));
            db.commit();
        }))
        return;
    dialogs().info(oldName + QStringLiteral("を削除しました"));
    load();
}
