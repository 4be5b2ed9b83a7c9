// SPDX-License-Identifier: GPL-3.0-or-later
#include "StorageMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterChange.h"
#include "MasterLayout.h"
#include "MasterQueries.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("保管場所マスタメンテナンス");

} // namespace

StorageMaster::StorageMaster(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_hokanM"));
    setWindowTitle(Caption);

    m_sp1 = new Grid(4, 1, this);
    m_sp1->setObjectName(QStringLiteral("SP1"));
    MasterLayout::setColumns(m_sp1,
        {{QStringLiteral("保管場所名"), 15}, {QStringLiteral("管理者名"), 10},
            {QStringLiteral("備考"), 56.25}, {QStringLiteral("登録処理"), 9.12}});
    for (int c = 1; c <= 3; ++c)
        m_sp1->setTextColumn(c, 0, false);
    m_sp1->setButtonColumn(4, QStringLiteral("登録"));

    m_sp2 = new Grid(7, 500, this);
    m_sp2->setObjectName(QStringLiteral("SP2"));
    MasterLayout::setColumns(m_sp2,
        {{QStringLiteral("№"), 4.25}, {QStringLiteral("保管場所名"), 16.62}, {QStringLiteral("金額"), 8},
            {QStringLiteral("管理者名"), 8}, {QStringLiteral("備考"), 34.25},
            {QStringLiteral("変更処理"), 8.5}, {QStringLiteral("削除処理"), 8.5}});
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

    m_hokan = newTypedCombo(QStringLiteral("cb_hokan"), 14, this);
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("img_ya"));
    m_arrow->setAlignment(Qt::AlignCenter);
    m_newName = new QLineEdit(this);
    m_newName->setObjectName(QStringLiteral("txt_hokan2"));
    m_newName->setMinimumWidth(m_hokan->sizeHint().width());
    auto *henkou = new QPushButton(QStringLiteral("保管場所名変更"), this);
    henkou->setObjectName(QStringLiteral("cmd_henkou"));
    auto *bottom = MasterLayout::closeRow(this);

    auto *renameRow = new QHBoxLayout;
    renameRow->addWidget(MasterLayout::label("Label6", QStringLiteral("変更前"), this));
    renameRow->addWidget(m_hokan);
    renameRow->addWidget(m_arrow);
    renameRow->addWidget(MasterLayout::label("Label7", QStringLiteral("変更後"), this));
    renameRow->addWidget(m_newName);
    renameRow->addWidget(henkou);
    renameRow->addStretch();

    auto *layout
        = MasterLayout::gridsLayout(this, Caption, m_sp1, QStringLiteral("変更(管理者名,備考)/削除"), m_sp2);
    layout->addWidget(MasterLayout::label("Label3", QStringLiteral("保管場所名変更"), this));
    layout->addLayout(renameRow);
    auto *note = MasterLayout::label("Label4",
        QStringLiteral("※保管場所名変更時は現在までの累積データ及び、影響する全マスタにも変更が加えられます"),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addLayout(bottom);

    MasterLayout::connectButtons(
        this, m_sp1, 4, [this] { registerPlace(); }, m_sp2, 6, [this](int row) { updateRow(row); }, 7,
        [this](int row) { deleteRow(row); });
    connect(henkou, &QPushButton::clicked, this, &StorageMaster::rename);
}

void StorageMaster::load()
{
    // The arrow is decoration only: without the file the rename area shows a plain arrow.
    const QPixmap arrow(context().arrowPath());
    if (arrow.isNull())
        m_arrow->setText(QStringLiteral("→"));
    else
        m_arrow->setPixmap(arrow);

    withRead([&](Database &db) {
        // The text of cb_hokan survives a reload only while it still names a place.
        const QString chosen = m_hokan->currentText();
        const QStringList names
            = MasterQueries::readColumn(db, QStringLiteral("Hokan_T"), QStringLiteral("H_index"));
        m_hokan->clear();
        m_hokan->addItems(names);
        m_hokan->setCurrentIndex(names.indexOf(chosen));
        if (m_hokan->currentIndex() < 0)
            m_hokan->setEditText(QString());

        MasterLayout::fillGrid(m_sp2,
            MasterQueries::readRows(db, QStringLiteral("SELECT * FROM Hokan_T"),
                {QStringLiteral("H_no"), QStringLiteral("H_index"), QStringLiteral("H_money"),
                    QStringLiteral("H_name"), QStringLiteral("H_memo")}));
    });
}

void StorageMaster::registerPlace()
{
    const QString name = m_sp1->text(1, 1);
    const QString keeper = m_sp1->text(2, 1);
    const QString memo = m_sp1->text(3, 1);

    bool duplicate = false;
    if (!withRead([&](Database &db) {
            duplicate
                = MasterChange::anyRowHas(db, QStringLiteral("Hokan_T"), QStringLiteral("H_index"), name);
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

    if (!withWrite(QStringLiteral("保管場所「") + name + QStringLiteral("」を登録"),
            [&](Database &db) { MasterChange::registerPlace(db, name, keeper, memo); }))
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
    if (!withWrite(QStringLiteral("保管場所「") + name + QStringLiteral("」を更新"),
            [&](Database &db) { MasterChange::updatePlace(db, name, keeper, memo); }))
        return;
    dialogs().info(name + QStringLiteral("を更新しました"));
    load();
}

void StorageMaster::deleteRow(int row)
{
    const QString name = m_sp2->text(2, row);

    // Expense items are examined first, so a place both kinds use gets the 支出 message.
    QString refusal;
    if (!withRead([&](Database &db) { refusal = MasterChange::placeDeletionRefusal(db, name); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    if (!dialogs().ask(QStringLiteral("削除します　よろしいですか？")))
        return;
    if (!withWrite(QStringLiteral("保管場所「") + name + QStringLiteral("」を削除"),
            [&](Database &db) { refusal = MasterChange::deletePlace(db, name); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    dialogs().info(name + QStringLiteral("を削除しました"));
    load();
}

void StorageMaster::rename()
{
    const QString oldName = m_hokan->currentText();
    const QString newName = m_newName->text();
    // A missing name, or a new name that another place already has (which would merge the two
    // places' balances and histories), is refused before anything is written.
    QString refusal;
    if (!withRead([&](Database &db) { refusal = MasterChange::placeRenameRefusal(db, oldName, newName); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;

    if (!dialogs().ask(QStringLiteral("[") + oldName + QStringLiteral("]を[") + newName
            + QStringLiteral("]に変更し、その他データも変更します。　よろしいですか？")))
        return;

    // All or nothing: a failure half-way leaves every table under the old name.
    if (!withWrite(QStringLiteral("保管場所「") + oldName + QStringLiteral("」を「") + newName
                + QStringLiteral("」に変更"),
            [&](Database &db) { refusal = MasterChange::renamePlace(db, oldName, newName); }))
        return;
    if (MasterLayout::refused(dialogs(), refusal))
        return;
    dialogs().info(
        QStringLiteral("[") + oldName + QStringLiteral("]を[") + newName + QStringLiteral("]に変更しました"));
    m_hokan->setEditText(QString());
    m_newName->clear();
    load();
}
