// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardMaster.h"

#include "Database.h"
#include "Grid.h"
#include "MasterChange.h"
#include "MasterLayout.h"
#include "MasterQueries.h"

#include <QLabel>
#include <QVBoxLayout>
#include <limits>

namespace {

const QString Caption = QStringLiteral("カード設定");

} // namespace

CardMaster::CardMaster(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_card"));
    setWindowTitle(Caption);

    m_grid = new Grid(ColCount, 1, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    MasterLayout::setColumns(m_grid,
        {{QStringLiteral("保管場所"), 16}, {QStringLiteral("締め日"), 7}, {QStringLiteral("支払日"), 7},
            {QStringLiteral("引落口座"), 16}, {QStringLiteral("利用限度額"), 11}, {QStringLiteral("処理"), 7},
            {QStringLiteral("削除処理"), 8.5}});
    m_grid->setChoiceColumn(ColPlace, QString());
    m_grid->setIntegerColumn(ColClosing, 1, 31);
    m_grid->setIntegerColumn(ColPayment, 1, 31);
    m_grid->setChoiceColumn(ColPayFrom, QString());
    m_grid->setNumericColumn(ColLimit, 0, std::numeric_limits<qint32>::max(), false);
    m_grid->setButtonColumn(ColSave, QStringLiteral("更新"));
    m_grid->setButtonColumn(ColDelete, QStringLiteral("削除"));
    MasterLayout::fitGrid(m_grid, 10);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MasterLayout::heading(Caption, this));
    layout->addWidget(MasterLayout::label("Label1",
        QStringLiteral("締め日・支払日の31は月末です。カードの残高は未払いの額をマイナスで表します"), this));
    layout->addWidget(m_grid, 1);
    layout->addLayout(MasterLayout::closeRow(this));

    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) {
        if (col == ColSave)
            save(row);
        else if (col == ColDelete && row <= m_cards)
            deleteRow(row);
    });
}

void CardMaster::load()
{
    QList<MasterChange::Card> cards;
    withRead([&](Database &db) {
        m_places = MasterQueries::readColumn(db, QStringLiteral("Hokan_T"), QStringLiteral("H_index"));
        cards = MasterChange::cards(db);
    });
    const QString list = m_places.join(u'\t') + u'\t';
    m_grid->setColumnChoiceList(ColPlace, list);
    m_grid->setColumnChoiceList(ColPayFrom, list);
    m_cards = int(cards.size());
    m_grid->setMaxRows(0);
    m_grid->setMaxRows(m_cards + 1);
    const auto index = [&](const QString &place) {
        const qsizetype i = m_places.indexOf(place);
        return i < 0 ? QString() : QString::number(i);
    };
    for (int r = 1; r <= m_cards; ++r) {
        const MasterChange::Card &c = cards.at(r - 1);
        m_grid->setText(ColPlace, r, index(c.place));
        m_grid->setCellLocked(ColPlace, r, true); // renamed in the storage master
        m_grid->setText(ColClosing, r, QString::number(c.closing));
        m_grid->setText(ColPayment, r, QString::number(c.payment));
        m_grid->setText(ColPayFrom, r, index(c.payFrom));
        m_grid->setText(ColLimit, r, QString::number(c.limit));
    }
    const int last = m_cards + 1;
    m_grid->setButtonCaption(ColSave, last, QStringLiteral("登録"));
    m_grid->setCellKind(ColDelete, last, Grid::Kind::Text);
}

void CardMaster::save(int row)
{
    const bool registering = row > m_cards;
    const auto chosen = [&](int col) {
        bool ok = false;
        const int i = m_grid->text(col, row).toInt(&ok);
        return ok ? m_places.value(i) : QString();
    };
    const QString place = chosen(ColPlace);
    const QString payFrom = chosen(ColPayFrom);
    bool closingOk = false, paymentOk = false, limitOk = false;
    const int closing = m_grid->text(ColClosing, row).toInt(&closingOk);
    const int payment = m_grid->text(ColPayment, row).toInt(&paymentOk);
    const qint64 limit = m_grid->text(ColLimit, row).toLongLong(&limitOk);
    QString why;
    if (place.isEmpty())
        why = QStringLiteral("保管場所を選択して下さい");
    else if (!closingOk || closing < 1 || closing > 31)
        why = QStringLiteral("締め日は1～31で入力して下さい");
    else if (!paymentOk || payment < 1 || payment > 31)
        why = QStringLiteral("支払日は1～31で入力して下さい");
    else if (payFrom.isEmpty())
        why = QStringLiteral("引落口座を選択して下さい");
    else if (payFrom == place)
        why = QStringLiteral("引落口座にカード自身は選べません");
    else if (!limitOk || limit < 0 || limit > std::numeric_limits<qint32>::max())
        why = QStringLiteral("利用限度額を入力して下さい");
    if (!why.isEmpty()) {
        dialogs().info(why);
        return;
    }
    // A card is paid from a place that holds money, and a place is a card once.
    bool payFromIsCard = false, already = false;
    QString paidCard;
    if (!withRead([&](Database &db) {
            payFromIsCard = MasterChange::card(db, payFrom).has_value();
            already = registering && MasterChange::card(db, place).has_value();
            paidCard = registering ? MasterChange::cardPaidFrom(db, place) : QString();
        }))
        return;
    if (!paidCard.isEmpty()) {
        dialogs().info(QStringLiteral("この保管場所はカード「") + paidCard
            + QStringLiteral("」の引落口座です カードとして登録できません"));
        return;
    }
    if (payFromIsCard) {
        dialogs().info(QStringLiteral("引落口座にカードは選べません"));
        return;
    }
    if (already) {
        dialogs().info(QStringLiteral("この保管場所は既にカードとして登録されています"));
        return;
    }
    if (!dialogs().ask(registering ? QStringLiteral("登録します　よろしいですか？")
                                   : QStringLiteral("更新します　よろしいですか？")))
        return;
    const QString description = QStringLiteral("カード「") + place
        + (registering ? QStringLiteral("」を登録") : QStringLiteral("」を更新"));
    if (!withWrite(description, [&](Database &db) {
            MasterChange::saveCard(db, {place, closing, payment, payFrom, limit}, registering);
        }))
        return;
    dialogs().info(
        registering ? QStringLiteral("登録完了しました") : place + QStringLiteral("を更新しました"));
    load();
}

void CardMaster::deleteRow(int row)
{
    bool ok = false;
    const QString place = m_places.value(m_grid->text(ColPlace, row).toInt(&ok));
    if (!ok || place.isEmpty())
        return;
    if (!dialogs().ask(QStringLiteral("削除します　よろしいですか？")))
        return;
    // The place stays; it is no card any more, and its bills go with its settings.
    if (!withWrite(QStringLiteral("カード「") + place + QStringLiteral("」を削除"),
            [&](Database &db) { MasterChange::deleteCard(db, place); }))
        return;
    dialogs().info(place + QStringLiteral("を削除しました"));
    load();
}
