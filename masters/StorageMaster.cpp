#include "StorageMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterLayout.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("保管場所マスタメンテナンス");

QString q(const QString &text)
{
    return Database::escape(text);
}

// Every table and column that holds a storage-place name, in the order a rename rewrites
// them (after Hokan_T itself).
struct NameColumn
{
    const char *table;
    const char *column;
};
constexpr NameColumn RenamedColumns[] = {
    {"N", "N_hokan"},
    {"S", "S_hokan"},
    {"Nyuukin_T", "N_hokan"},
    {"Syukkin_T", "S_hokan"},
    {"Idourireki_T", "I_hokanmoto"},
    {"Idourireki_T", "I_hokansaki"},
    {"Zidourireki_T", "Z_hokan"},
    {"Ktanaorosi_T", "K_hokan"},
};

} // namespace

StorageMaster::StorageMaster(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_hokanM"));
    setWindowTitle(Caption);

    m_sp1 = new Grid(4, 1, this);
    m_sp1->setObjectName(QStringLiteral("SP1"));
    const struct
    {
        const char *heading;
        double width;
    } sp1[] = {{"保管場所名", 15}, {"管理者名", 10}, {"備考", 56.25}, {"登録処理", 9.12}};
    for (int c = 1; c <= 4; ++c) {
        m_sp1->setHeading(c, QString::fromUtf8(sp1[c - 1].heading));
        m_sp1->setColumnWidthChars(c, sp1[c - 1].width);
        if (c < 4)
            m_sp1->setTextColumn(c, 0, false);
    }
    m_sp1->setButtonColumn(4, QStringLiteral("登録"));

    m_sp2 = new Grid(7, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    const struct
    {
        const char *heading;
        double width;
    } sp2[] = {{"№", 4.25}, {"保管場所名", 16.62}, {"金額", 8}, {"管理者名", 8}, {"備考", 34.25},
        {"変更処理", 8.5}, {"削除処理", 8.5}};
    for (int c = 1; c <= 7; ++c) {
        m_sp2->setHeading(c, QString::fromUtf8(sp2[c - 1].heading));
        m_sp2->setColumnWidthChars(c, sp2[c - 1].width);
    }
    m_sp2->setTextColumn(1);
    m_sp2->setTextColumn(2);
    // The balance as stored: plain digits, no separators.
    m_sp2->setIntegerColumn(3, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), true);
    m_sp2->setTextColumn(4, 0, false);
    m_sp2->setTextColumn(5, 0, false);
    m_sp2->setButtonColumn(6, QStringLiteral("更新"));
    m_sp2->setButtonColumn(7, QStringLiteral("削除"));

    MasterLayout::fitGrid(m_sp1, 1);
    MasterLayout::fitGrid(m_sp2, 12);

    m_hokan = new QComboBox(this);
    m_hokan->setObjectName(QStringLiteral("cb_hokan"));
    m_hokan->setEditable(true);
    m_hokan->setInsertPolicy(QComboBox::NoInsert);
    m_hokan->setMinimumContentsLength(14);
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("img_ya"));
    m_arrow->setAlignment(Qt::AlignCenter);
    m_newName = new QLineEdit(this);
    m_newName->setObjectName(QStringLiteral("txt_hokan2"));
    m_newName->setMinimumWidth(m_hokan->sizeHint().width());
    auto *henkou = new QPushButton(QStringLiteral("保管場所名変更"), this);
    henkou->setObjectName(QStringLiteral("cmd_henkou"));
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));

    auto *renameRow = new QHBoxLayout;
    renameRow->addWidget(MasterLayout::label("Label6", QStringLiteral("変更前"), this));
    renameRow->addWidget(m_hokan);
    renameRow->addWidget(m_arrow);
    renameRow->addWidget(MasterLayout::label("Label7", QStringLiteral("変更後"), this));
    renameRow->addWidget(m_newName);
    renameRow->addWidget(henkou);
    renameRow->addStretch();

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MasterLayout::heading(Caption, this));
    layout->addWidget(MasterLayout::label("Label1", QStringLiteral("新規登録"), this));
    layout->addWidget(m_sp1);
    layout->addWidget(MasterLayout::label("Label2", QStringLiteral("変更(管理者名,備考)/削除"), this));
    layout->addWidget(m_sp2, 1);
    layout->addWidget(MasterLayout::label("Label3", QStringLiteral("保管場所名変更"), this));
    layout->addLayout(renameRow);
    auto *note = MasterLayout::label("Label4",
        QStringLiteral("※保管場所名変更時は現在までの累積データ及び、影響する全マスタにも変更が加えられます"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addLayout(bottom);

    connect(m_sp1, &Grid::buttonClicked, this, [this](int col, int) {
        if (col == 4)
            registerPlace();
    });
    connect(m_sp2, &Grid::buttonClicked, this, [this](int col, int row) {
        if (col == 6)
            updateRow(row);
        else if (col == 7)
            deleteRow(row);
    });
    connect(henkou, &QPushButton::clicked, this, &StorageMaster::rename);
    connect(end, &QPushButton::clicked, this, &QWidget::close);
}

void StorageMaster::load()
{
    // The arrow is decoration only: without the file the rename area shows a plain arrow.
    const QPixmap arrow(context().arrowPath());
    if (arrow.isNull())
        m_arrow->setText(QStringLiteral("→"));
    else
        m_arrow->setPixmap(arrow);

    withDb([&] {
        Database db(dbPath());
        // The text of cb_hokan survives a reload only while it still names a place.
        const QString chosen = m_hokan->currentText();
        QStringList names;
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next())
            names << c.text(QStringLiteral("H_index"));
        m_hokan->clear();
        m_hokan->addItems(names);
        m_hokan->setCurrentIndex(names.indexOf(chosen));
        if (m_hokan->currentIndex() < 0)
            m_hokan->setEditText(QString());

        struct Place
        {
            QString no, name, money, keeper, memo;
        };
        std::vector<Place> places;
        for (Cursor c = db.query(QStringLiteral("SELECT * FROM Hokan_T")); !c.eof(); c.next()) {
            places.push_back({c.text(QStringLiteral("H_no")), c.text(QStringLiteral("H_index")),
                c.text(QStringLiteral("H_money")), c.text(QStringLiteral("H_name")),
                c.text(QStringLiteral("H_memo"))});
        }
        m_sp2->setMaxRows(int(places.size()));
        for (int r = 1; r <= int(places.size()); ++r) {
            const Place &p = places[r - 1];
            m_sp2->setText(1, r, p.no);
            m_sp2->setText(2, r, p.name);
            m_sp2->setText(3, r, p.money);
            m_sp2->setText(4, r, p.keeper);
            m_sp2->setText(5, r, p.memo);
        }
    });
}

void StorageMaster::registerPlace()
{
    const QString name = m_sp1->text(1, 1);
    const QString keeper = m_sp1->text(2, 1);
    const QString memo = m_sp1->text(3, 1);

    bool duplicate = false;
    if (!withDb([&] {
            Database db(dbPath());
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Hokan_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("H_index")) == name) {
                    duplicate = true;
                    return;
                }
            }
        }))
        return;
    if (duplicate) {
        dialogs().info(QStringLiteral("この保管場所名は既に使用されています 登録できません"));
        return;
    }
    if (name.isEmpty()) {
        dialogs().info(QStringLiteral("保管場所名が入力されていません"));
        return;
    }
    if (keeper.isEmpty()) {
        dialogs().info(QStringLiteral("管理者名が入力されていません"));
        return;
    }
    if (!dialogs().ask(QStringLiteral("登録します　よろしいですか？")))
        return;

    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.insert(QStringLiteral("Hokan_T"),
                {{QStringLiteral("H_index"), name}, {QStringLiteral("H_money"), 0},
                    {QStringLiteral("H_name"), keeper}, {QStringLiteral("H_memo"), memo}});
            db.commit();
        }))
        return;
    dialogs().info(QStringLiteral("登録完了しました"));
    load();
    for (int c = 1; c <= 3; ++c)
        m_sp1->setText(c, 1, QString());
}

void StorageMaster::updateRow(int row)
{
    const QString name = m_sp2->text(2, row);
    const QString keeper = m_sp2->text(4, row);
    const QString memo = m_sp2->text(5, row);
    if (!dialogs().ask(QStringLiteral("更新します　よろしいですか？")))
        return;
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_name = '") + q(keeper)
                + QStringLiteral("', H_memo = '") + q(memo) + QStringLiteral("' WHERE H_index = '") + q(name)
                + QStringLiteral("'"));
            db.commit();
        }))
        return;
    dialogs().info(name + QStringLiteral("を更新しました"));
    load();
}

void StorageMaster::deleteRow(int row)
{
    const QString name = m_sp2->text(2, row);

    QString refusal;
    if (!withDb([&] {
            Database db(dbPath());
            // Expense items are examined first, so a place both kinds use gets the 支出 message.
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Syukkin_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("S_hokan")) == name) {
                    refusal = QStringLiteral("この保管場所名は支出ﾏｽﾀで使用されています 削除できません");
                    return;
                }
            }
            for (Cursor c = db.query(QStringLiteral("SELECT * FROM Nyuukin_T")); !c.eof(); c.next()) {
                if (c.text(QStringLiteral("N_hokan")) == name) {
                    refusal = QStringLiteral("この保管場所名は収入ﾏｽﾀで使用されています 削除できません");
                    return;
                }
            }
        }))
        return;
    if (!refusal.isEmpty()) {
        dialogs().info(refusal);
        return;
    }
    if (!dialogs().ask(QStringLiteral("削除します　よろしいですか？")))
        return;
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("DELETE H_index FROM Hokan_T WHERE (H_index = '") + q(name)
                + QStringLiteral("')"));
            db.commit();
        }))
        return;
    dialogs().info(name + QStringLiteral("を削除しました"));
    load();
}

void StorageMaster::rename()
{
    const QString oldName = m_hokan->currentText();
    const QString newName = m_newName->text();
    if (oldName.isEmpty() || newName.isEmpty()) {
        dialogs().info(QStringLiteral("全ての値が入力されていない為処理できません"));
        return;
    }

    // A new name that another place already has would merge the two places' balances and
    // histories under one name; it is refused before anything is written.
    bool taken = false;
    if (newName != oldName && !withDb([&] {
            Database db(dbPath());
            Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T WHERE (H_index = '") + q(newName)
                + QStringLiteral("')"));
            taken = !c.eof();
        }))
        return;
    if (taken) {
        dialogs().info(QStringLiteral("この保管場所名は既に使用されています 変更できません"));
        return;
    }

    if (!dialogs().ask(QStringLiteral("[") + oldName + QStringLiteral("]を[") + newName
            + QStringLiteral("]に変更し、その他データも変更します。　よろしいですか？")))
        return;

    // All or nothing: a failure half-way leaves every table under the old name.
    if (!withDb([&] {
            Database db(dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_index = '") + q(newName)
                + QStringLiteral("' WHERE H_index = '") + q(oldName) + QStringLiteral("'"));
            for (const NameColumn &nc : RenamedColumns) {
                const QString table = QString::fromLatin1(nc.table);
                const QString column = QString::fromLatin1(nc.column);
                bool used = false;
                {
                    Cursor c = db.query(QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '").arg(column, table)
                        + q(oldName) + QStringLiteral("')"));
                    used = !c.eof();
                }
                if (used) {
                    db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(table, column) + q(newName)
                        + QStringLiteral("' WHERE %1 = '").arg(column) + q(oldName) + QStringLiteral("'"));
                }
            }
            db.commit();
        }))
        return;
    dialogs().info(
        QStringLiteral("[") + oldName + QStringLiteral("]を[") + newName + QStringLiteral("]に変更しました"));
    m_hokan->setEditText(QString());
    m_newName->clear();
    load();
}
