// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChangeWindow.h"

#include "Amount.h"
#include "BasGeneral.h"
#include "Database.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString crlf = QStringLiteral("\r\n");
const QString debitCategory = QStringLiteral("自動");
const QString goneText = QStringLiteral("この明細はほかの操作で変更されています");

QComboBox *newCombo(const char *name, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setMinimumContentsLength(14);
    return box;
}

} // namespace

ChangeWindow::ChangeWindow(const AppContext &context, const QString &table, qint64 rowid, QWidget *parent)
    : TaskWindow(context, parent)
    , m_table(table)
    , m_rowid(rowid)
{
    setObjectName(QStringLiteral("F_syusei"));
    setWindowTitle(QStringLiteral("明細の修正"));

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(makeHeading("Label1", windowTitle(), this));
    m_kind = new QLabel(this);
    m_kind->setObjectName(QStringLiteral("lbl_kind"));
    outer->addWidget(m_kind);
    auto *form = new QFormLayout;
    m_day = new QLineEdit(this);
    m_day->setObjectName(QStringLiteral("txt_day"));
    m_day->setMaxLength(8);
    m_item = newCombo("cb_koumoku", this);
    m_place = newCombo("cb_hokan", this);
    m_place2 = newCombo("cb_hokan2", this);
    m_money = new QLineEdit(this);
    m_money->setObjectName(QStringLiteral("txt_money"));
    m_money->setMaxLength(11);
    m_memo = new QLineEdit(this);
    m_memo->setObjectName(QStringLiteral("txt_memo"));
    form->addRow(QStringLiteral("日付"), m_day);
    form->addRow(QStringLiteral("項目"), m_item);
    form->addRow(QStringLiteral("保管場所"), m_place);
    form->addRow(QStringLiteral("移動先"), m_place2);
    form->addRow(QStringLiteral("金額"), m_money);
    form->addRow(QStringLiteral("メモ"), m_memo);
    outer->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("修正"), this);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    buttons->addWidget(m_ok);
    buttons->addWidget(m_end);
    outer->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, [this] { change(); });
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void ChangeWindow::load()
{
    m_row.reset();
    withRead([&](Database &db) {
        m_row = PostingChange::read(db, m_table, m_rowid);
        if (!m_row)
            return;
        const bool transfer = m_table == u"Idourireki_T";
        QStringList places;
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T ORDER BY H_no")); !c.eof();
             c.next())
            places << c.text(0);
        m_itemPlaces.clear();
        QStringList items;
        if (!transfer) {
            // The items of the same kind: income items, or the expense items of the debit run or
            // of the expense window.
            const QString prefix = m_table == u"N" ? QStringLiteral("N") : QStringLiteral("S");
            const QString master
                = m_table == u"N" ? QStringLiteral("Nyuukin_T") : QStringLiteral("Syukkin_T");
            for (Cursor c
                 = db.query(QStringLiteral("SELECT %1_index, %1_kubun, %1_hokan FROM %2 ORDER BY %1_no")
                                .arg(prefix, master));
                 !c.eof(); c.next()) {
                if (m_table == u"S" && (c.text(1) == debitCategory) != m_row->debit)
                    continue;
                items << c.text(0);
                m_itemPlaces.insert(c.text(0), c.text(2));
            }
        }
        const PostingChange::Values &v = m_row->values;
        if (!items.contains(v.item) && !transfer)
            items.prepend(v.item);
        if (!places.contains(v.place))
            places.prepend(v.place);
        m_item->clear();
        m_item->addItems(items);
        m_item->setCurrentText(v.item);
        m_item->setEnabled(!transfer);
        m_place->clear();
        m_place->addItems(places);
        m_place->setCurrentText(v.place);
        m_place->setEnabled(transfer);
        m_place2->clear();
        m_place2->addItems(places);
        m_place2->setCurrentText(v.place2);
        m_place2->setEnabled(transfer);
        m_day->setText(QString::number(v.date));
        m_money->setText(QString::number(v.money));
        m_memo->setText(v.memo);
        m_memo->setEnabled(!m_row->debit);
        m_kind->setText(transfer  ? QStringLiteral("移動")
                : m_table == u"N" ? QStringLiteral("収入")
                : m_row->debit    ? QStringLiteral("自動引落")
                                  : QStringLiteral("支出"));
    });
    if (!m_row) {
        m_ok->setEnabled(false);
        m_kind->setText(goneText);
    }
}

std::optional<PostingChange::Values> ChangeWindow::typedValues()
{
    const QString day = m_day->text();
    if (!BasGeneral::isDigitsOnly(day, dialogs())
        || !BasGeneral::hasLength(day, 8, BasGeneral::dateLengthMessage(QStringLiteral("日付")), dialogs())) {
        m_day->setFocus();
        return std::nullopt;
    }
    // A refund (a negative amount) stays one: its minus is taken; any other row's is refused.
    const QString money = m_money->text();
    const bool signedRow = m_row->values.money < 0 && money.startsWith(u'-');
    if (!BasGeneral::isDigitsOnly(signedRow ? money.mid(1) : money, dialogs())) {
        m_money->setFocus();
        return std::nullopt;
    }
    if (money.isEmpty() || money.toLongLong() == 0) {
        dialogs().info(QStringLiteral("金額を入力して下さい"));
        m_money->setFocus();
        return std::nullopt;
    }
    const std::optional<qint32> amount = signedRow ? Amount::parseSigned(money) : Amount::parse(money);
    if (!amount) {
        dialogs().info(QStringLiteral("数値を入力して下さい"));
        m_money->setFocus();
        return std::nullopt;
    }
    PostingChange::Values v = m_row->values;
    v.date = day.toInt();
    v.money = *amount;
    if (!m_row->debit)
        v.memo = m_memo->text();
    if (m_table == u"Idourireki_T") {
        v.place = m_place->currentText();
        v.place2 = m_place2->currentText();
        if (v.place == v.place2) {
            dialogs().info(QStringLiteral("移動元と移動先が同じです"));
            return std::nullopt;
        }
    } else if (m_item->currentText() != v.item) {
        // Another item posts to that item's place, as the posting windows do.
        v.item = m_item->currentText();
        const QString place = m_itemPlaces.value(v.item);
        if (place.isEmpty() || place == u"0") {
            dialogs().info(QStringLiteral(
                "保管場所が設定されていない項目があります。保管場所ﾏｽﾀﾒﾝﾃﾝﾅﾝｽで設定後再処理して下さい。"));
            return std::nullopt;
        }
        v.place = place;
    }
    return v;
}

bool ChangeWindow::change()
{
    if (!m_row)
        return false;
    const std::optional<PostingChange::Values> values = typedValues();
    if (!values)
        return false;
    if (*values == m_row->values) {
        dialogs().info(QStringLiteral("変更がありません"));
        return false;
    }
    PostingChange::Plan plan;
    if (!withRead([&](Database &db) { plan = PostingChange::plan(db, *m_row, values); }))
        return false;
    if (!plan.refusal.isEmpty()) {
        dialogs().info(plan.refusal + QStringLiteral("。修正できません"));
        return false;
    }
    const PostingChange::Values &old = m_row->values;
    const QString name = m_table == u"Idourireki_T" ? old.place + QStringLiteral("→") + old.place2 : old.item;
    const QString what = QString::number(old.date) + u' ' + name + u' ' + BasGeneral::formatYen(old.money);
    QString question = what + QStringLiteral("を修正します　よろしいですか？");
    if (plan.stocktakeDay != 0)
        question += crlf
            + QStringLiteral("%1の金額棚卸で数え直しているため、現在の残高は変わりません")
                  .arg(QString::number(plan.stocktakeDay));
    if (!dialogs().ask(question))
        return false;
    bool written = false;
    QString refusal;
    withWrite(what + QStringLiteral("を修正"), [&](Database &db) {
        const std::optional<PostingChange::Row> now = PostingChange::read(db, m_table, m_rowid);
        if (!now || now->values != old) {
            refusal = goneText;
            return;
        }
        const PostingChange::Plan current = PostingChange::plan(db, *now, values);
        if (!current.refusal.isEmpty()) {
            refusal = current.refusal + QStringLiteral("。修正できません");
            return;
        }
        PostingChange::apply(db, *now, values, current);
        written = true;
    });
    if (!refusal.isEmpty())
        dialogs().info(refusal);
    if (!written)
        return false;
    emit changed();
    close();
    return true;
}
