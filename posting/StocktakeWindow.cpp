// SPDX-License-Identifier: GPL-3.0-or-later
#include "StocktakeWindow.h"

#include "Amount.h"
#include "BasGeneral.h"
#include "Database.h"
#include "Grid.h"
#include "Ledger.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtNumeric>
#include <optional>

namespace {

QLabel *makeLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// The integer part of a balance, or nothing when the value is NULL or no number.
std::optional<qint64> integerPart(const Cursor &c, const QString &column)
{
    if (c.value(column).isNull())
        return std::nullopt;
    try {
        return c.integer64(column);
    } catch (const DbError &) {
        return std::nullopt;
    }
}

} // namespace

StocktakeWindow::StocktakeWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_tanaorosi"));
    setWindowTitle(QStringLiteral("金額棚卸処理画面"));

    auto *title = makeHeading("Label1", QStringLiteral("金額棚卸処理画面"), this);
    title->setAlignment(Qt::AlignCenter);

    m_grid = new Grid(4, 0, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    m_grid->setHeading(1, QStringLiteral("保管場所"));
    m_grid->setHeading(2, QStringLiteral("金額"));
    m_grid->setHeading(3, QStringLiteral("管理者"));
    m_grid->setHeading(4, QStringLiteral("備考"));
    m_grid->setTextColumn(1);
    // The balance as a plain number, as the storage-place list shows it.
    m_grid->setIntegerColumn(2, -9999999999LL, 9999999999LL, true);
    m_grid->setTextColumn(3);
    m_grid->setTextColumn(4);
    m_grid->setColumnWidthChars(1, 16);
    m_grid->setColumnWidthChars(2, 14);
    m_grid->setColumnWidthChars(3, 12);
    m_grid->setColumnWidthChars(4, 20);
    // Every column in view without scrolling sideways.
    int gridWidth = 2 * m_grid->frameWidth() + m_grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < m_grid->maxCols(); ++c)
        gridWidth += m_grid->columnWidth(c);
    m_grid->setMinimumWidth(gridWidth);

    m_goukei = new QLabel(this);
    m_goukei->setObjectName(QStringLiteral("lbl_goukei"));
    m_goukei->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_goukei->setFrameShape(QFrame::StyledPanel);
    m_goukei->setFrameShadow(QFrame::Sunken);
    m_goukei->setMinimumWidth(
        m_goukei->fontMetrics().horizontalAdvance(QStringLiteral("\\-9,999,999,999,999")));

    auto *totalRow = new QHBoxLayout;
    totalRow->addStretch();
    totalRow->addWidget(makeLabel("Label3", QStringLiteral("合計"), this));
    totalRow->addWidget(m_goukei);

    auto *list = new QVBoxLayout;
    list->addWidget(makeLabel("Label2", QStringLiteral("保管場所別金額リスト"), this));
    list->addWidget(m_grid, 1);
    list->addLayout(totalRow);

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::StyledPanel);

    m_hokan = newTypedCombo(QStringLiteral("cb_hokan"), 14, frame);
    m_money = new QLineEdit(frame);
    m_money->setObjectName(QStringLiteral("txt_money"));
    m_riyuu = new QLineEdit(frame);
    m_riyuu->setObjectName(QStringLiteral("txt_riyuu"));
    m_henkou = new QPushButton(QStringLiteral("金額変更処理実行"), frame);
    m_henkou->setObjectName(QStringLiteral("cmd_henkou"));

    auto *form = new QFormLayout;
    form->addRow(makeLabel("Label5", QStringLiteral("保管場所"), frame), m_hokan);
    form->addRow(makeLabel("Label6", QStringLiteral("実金額"), frame), m_money);
    form->addRow(makeLabel("Label7", QStringLiteral("変更理由"), frame), m_riyuu);
    auto *henkouRow = new QHBoxLayout;
    henkouRow->addStretch();
    henkouRow->addWidget(m_henkou);
    auto *frameLayout = new QVBoxLayout(frame);
    auto *heading = makeLabel("Label4", QStringLiteral("金額変更処理"), frame);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    heading->setFont(headingFont);
    frameLayout->addWidget(heading);
    frameLayout->addLayout(form);
    frameLayout->addLayout(henkouRow);

    m_kekka = new QPlainTextEdit(this);
    m_kekka->setObjectName(QStringLiteral("txt_kekka"));
    m_kekka->setReadOnly(true);
    m_kekka->setMinimumHeight(m_kekka->fontMetrics().lineSpacing() * 4);

    auto *correction = new QVBoxLayout;
    correction->addWidget(frame);
    correction->addWidget(makeLabel("Label8", QStringLiteral("処理結果表示"), this));
    correction->addWidget(m_kekka, 1);

    auto *middle = new QHBoxLayout;
    middle->addLayout(list, 3);
    middle->addLayout(correction, 2);

    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);

    setTabOrder(m_hokan, m_money);
    setTabOrder(m_money, m_riyuu);
    setTabOrder(m_riyuu, m_henkou);
    setTabOrder(m_henkou, m_end);
    setTabOrder(m_end, m_grid);
    setTabOrder(m_grid, m_kekka);

    // A leading minus is what a card owes; whether the place is a card is asked on execute.
    connect(m_money, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_henkou->setEnabled(BasGeneral::isDigitsOnly(text.startsWith(u'-') ? text.mid(1) : text, dialogs()));
    });
    connect(m_henkou, &QPushButton::clicked, this, &StocktakeWindow::execute);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void StocktakeWindow::load()
{
    const bool firstLoad = m_hokan->count() == 0;
    withDb([&] {
        Database db(dbPath());
        // 64 bits: many 32-bit balances can add up to more than 32 bits hold.
        qint64 total = 0;
        int rows = 0;
        for (Cursor c = db.query(QStringLiteral("SELECT * FROM Hokan_T")); !c.eof(); c.next()) {
            const int r = ++rows;
            if (m_grid->maxRows() < r)
                m_grid->setMaxRows(r);
            // A NULL is skipped: its cell keeps what it held and nothing is added.
            const QString columns[]
                = {QStringLiteral("H_index"), QString(), QStringLiteral("H_name"), QStringLiteral("H_memo")};
            for (int col = 1; col <= 4; ++col) {
                if (col == 2) {
                    if (const auto money = integerPart(c, QStringLiteral("H_money"))) {
                        m_grid->setText(2, r, QString::number(*money));
                        qint64 sum = 0;
                        if (!qAddOverflow(total, *money, &sum))
                            total = sum;
                    }
                } else if (!c.value(columns[col - 1]).isNull()) {
                    m_grid->setText(col, r, c.text(columns[col - 1]));
                }
            }
        }
        m_grid->setMaxRows(rows);
        m_goukei->setText(BasGeneral::formatYen(total));

        // Entries are replaced position by position when the list is loaded again.
        int pos = 0;
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next(), ++pos) {
            const QString name = c.text(QStringLiteral("H_index"));
            if (pos < m_hokan->count())
                m_hokan->setItemText(pos, name);
            else
                m_hokan->addItem(name);
        }
    });
    if (firstLoad)
        m_hokan->setCurrentIndex(-1);
}

void StocktakeWindow::execute()
{
    if (m_hokan->currentText().isEmpty()) {
        dialogs().info(QStringLiteral("保管場所を選択して下さい"));
        return;
    }
    if (m_money->text().isEmpty()) {
        dialogs().info(QStringLiteral("実金額を入力して下さい"));
        return;
    }
    if (m_riyuu->text().isEmpty()) {
        dialogs().info(QStringLiteral("金額変更理由を入力して下さい"));
        return;
    }
    m_kekka->clear();
    const QString name = m_hokan->currentText(); // as shown: blanks are part of the name
    // A letter can be left in the box (the check only warns), and more than ten digits
    // do not fit 32 bits: refuse before anything is asked or written.
    // A card's owed balance is counted as a negative figure; no other place goes below zero.
    const std::optional<qint32> amount = Amount::parseSigned(m_money->text());
    bool card = false;
    if (amount && *amount < 0 && !withRead([&](Database &db) { card = Ledger::isCard(db, name); }))
        return;
    if (!amount || (*amount < 0 && !card)) {
        dialogs().info(QStringLiteral("数値を入力して下さい"));
        return;
    }
    const QString reason = m_riyuu->text();
    const QString amountText = QString::number(*amount);
    if (!dialogs().ask(name + QStringLiteral("の金額を \\") + amountText
            + QStringLiteral("に変更します。  よろしいですか？")))
        return;

    Ledger::Outcome outcome;
    const bool committed = withWrite(
        name + QStringLiteral("の金額を \\") + amountText + QStringLiteral("に変更"), [&](Database &db) {
            outcome = Ledger(db).stocktake(
                {name, *amount, reason, clock().today().toString(QStringLiteral("yyyyMMdd")).toInt()});
        });
    if (!committed)
        return;
    if (!outcome.done()) {
        dialogs().info(outcome.refusal);
        return;
    }

    m_kekka->setPlainText(
        name + QStringLiteral("の金額を \\") + amountText + QStringLiteral("に変更しました\r\n処理完了"));
    // Reloaded with a connection of its own, now that the correction is committed.
    load();
    m_hokan->setCurrentIndex(-1);
    m_hokan->setEditText(QString());
    m_money->clear();
    m_riyuu->clear();
}
