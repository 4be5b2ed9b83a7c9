// SPDX-License-Identifier: GPL-3.0-or-later
#include "RuleWindow.h"

#include "Database.h"
#include "Grid.h"
#include "ImportLedger.h"
#include "TypedCombo.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using Match = RuleMatcher::Match;

namespace {

const QString Caption = QStringLiteral("取込ルール");
constexpr Match Matches[] = {Match::Exact, Match::Prefix, Match::Contains};

} // namespace

RuleWindow::RuleWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_rule"));
    setWindowTitle(Caption);

    m_hokan = newTypedCombo(QStringLiteral("cb_hokan"), 14, this);
    m_hokan->setEditable(false);
    auto *hokanLabel = new QLabel(QStringLiteral("保管場所"), this);
    hokanLabel->setObjectName(QStringLiteral("Label2"));
    auto *note = new QLabel(
        QStringLiteral("明細の内容全体のルール（一致）、前方一致の長いもの、含むの長いものの順に使われます。"
                       "どれもないときは、同じ店の以前の明細から項目を選びます"),
        this);
    note->setObjectName(QStringLiteral("Label3"));
    note->setWordWrap(true);

    m_grid = new Grid(ColCount, 1, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    const struct
    {
        int col;
        const char *heading;
        double width;
    } cols[] = {{ColPattern, "内容", 28}, {ColMatch, "照合", 11}, {ColItem, "項目", 16},
        {ColUsed, "最終使用", 18}, {ColSave, "処理", 7}, {ColDelete, "削除処理", 8.5}};
    for (const auto &c : cols) {
        m_grid->setHeading(c.col, QString::fromUtf8(c.heading));
        m_grid->setColumnWidthChars(c.col, c.width);
    }
    m_grid->setTextColumn(ColPattern, 200, false);
    QStringList matches;
    for (const Match m : Matches)
        matches << RuleMatcher::matchText(m);
    m_grid->setChoiceColumn(ColMatch, matches.join(u'\t') + u'\t');
    m_grid->setChoiceColumn(ColItem, QString());
    m_grid->setTextColumn(ColUsed);
    m_grid->setButtonColumn(ColSave, QStringLiteral("更新"));
    m_grid->setButtonColumn(ColDelete, QStringLiteral("削除"));
    m_grid->setMinimumWidth(m_grid->fontMetrics().averageCharWidth() * 95);

    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    auto *top = new QHBoxLayout;
    top->addWidget(hokanLabel);
    top->addWidget(m_hokan);
    top->addStretch();
    top->addWidget(end);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading("Label1", Caption, this));
    layout->addLayout(top);
    layout->addWidget(note);
    layout->addWidget(m_grid, 1);
    resize(900, 520);

    connect(end, &QPushButton::clicked, this, &QWidget::close);
    connect(m_hokan, &QComboBox::currentTextChanged, this, [this] { fill(); });
    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) {
        if (col == ColSave)
            save(row);
        else if (col == ColDelete && row <= m_rules.size())
            deleteRow(row);
    });
}

QString RuleWindow::itemEntry(const QString &kind, const QString &item)
{
    if (!ImportLedger::transferPlace(kind == u"S", item).isEmpty())
        return item;
    return (kind == u"S" ? QStringLiteral("支出：") : QStringLiteral("収入：")) + item;
}

void RuleWindow::load()
{
    QStringList income, expense;
    withRead([&](Database &db) {
        m_places.clear();
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next())
            m_places << c.text(0);
        for (Cursor c = db.query(QStringLiteral("SELECT S_index FROM Syukkin_T")); !c.eof(); c.next())
            expense << c.text(0);
        for (Cursor c = db.query(QStringLiteral("SELECT N_index FROM Nyuukin_T")); !c.eof(); c.next())
            income << c.text(0);
    });
    m_items.clear();
    for (const QString &i : std::as_const(expense))
        m_items.append({QStringLiteral("S"), i});
    for (const QString &i : std::as_const(income))
        m_items.append({QStringLiteral("N"), i});
    const QString place = m_hokan->currentText();
    {
        const QSignalBlocker block(m_hokan);
        m_hokan->clear();
        m_hokan->addItems(m_places);
        m_hokan->setCurrentIndex(qMax(0, int(m_places.indexOf(place))));
    }
    fill();
}

void RuleWindow::setPlace(const QString &place)
{
    if (m_hokan->findText(place) < 0)
        return;
    const QSignalBlocker block(m_hokan);
    m_hokan->setCurrentIndex(m_hokan->findText(place));
    fill();
}

void RuleWindow::fill()
{
    const QString place = m_hokan->currentText();
    // The items of the masters, then the transfers to and from the other places.
    m_targets = m_items;
    for (const QString &other : std::as_const(m_places))
        if (other != place) {
            m_targets.append({QStringLiteral("S"), ImportLedger::transferTarget(true, other)});
            m_targets.append({QStringLiteral("N"), ImportLedger::transferTarget(false, other)});
        }
    m_entries.clear();
    for (const auto &[kind, item] : std::as_const(m_targets))
        m_entries << itemEntry(kind, item);
    m_grid->setColumnChoiceList(ColItem, m_entries.join(u'\t') + u'\t');
    m_rules.clear();
    if (!place.isEmpty())
        withRead([&](Database &db) { m_rules = ImportRules::rules(db, place, true); });
    m_grid->setUpdatesEnabled(false);
    m_grid->setMaxRows(0);
    m_grid->setMaxRows(int(m_rules.size()) + 1);
    for (int r = 1; r <= m_rules.size(); ++r) {
        const ImportRules::Rule &rule = m_rules.at(r - 1);
        m_grid->setText(ColPattern, r, rule.pattern);
        m_grid->setText(ColMatch, r, QString::number(int(rule.match)));
        const qsizetype item = m_entries.indexOf(itemEntry(rule.kind, rule.item));
        m_grid->setText(ColItem, r, item < 0 ? QString() : QString::number(item));
        m_grid->setText(ColUsed, r, rule.lastUsed);
    }
    const int last = int(m_rules.size()) + 1;
    m_grid->setText(ColMatch, last, QString::number(int(Match::Prefix)));
    m_grid->setButtonCaption(ColSave, last, QStringLiteral("登録"));
    m_grid->setCellKind(ColDelete, last, Grid::Kind::Text);
    m_grid->setUpdatesEnabled(true);
}

void RuleWindow::save(int row)
{
    const QString place = m_hokan->currentText();
    if (place.isEmpty()) {
        dialogs().info(QStringLiteral("保管場所を選択して下さい"));
        return;
    }
    const bool registering = row > m_rules.size();
    bool matchOk = false, itemOk = false;
    const int match = m_grid->text(ColMatch, row).toInt(&matchOk);
    const int item = m_grid->text(ColItem, row).toInt(&itemOk);
    if (!matchOk || match < 0 || match >= int(std::size(Matches))) {
        dialogs().info(QStringLiteral("照合を選択して下さい"));
        return;
    }
    if (!itemOk || item < 0 || item >= m_targets.size()) {
        dialogs().info(QStringLiteral("項目を選択して下さい"));
        return;
    }
    const ImportRules::Rule old = registering ? ImportRules::Rule {} : m_rules.at(row - 1);
    const ImportRules::Rule now {m_targets.at(item).first, Matches[match], m_grid->text(ColPattern, row),
        m_targets.at(item).second, QString()};
    if (!dialogs().ask(registering ? QStringLiteral("登録します　よろしいですか？")
                                   : QStringLiteral("更新します　よろしいですか？")))
        return;
    QString refusal;
    const bool ok = withWrite(QStringLiteral("取込ルール「") + now.pattern.trimmed()
            + (registering ? QStringLiteral("」を登録") : QStringLiteral("」を更新")),
        [&](Database &db) { refusal = ImportRules::save(db, place, old, now); });
    if (!refusal.isEmpty()) {
        dialogs().info(refusal);
        return;
    }
    if (!ok)
        return;
    dialogs().info(registering ? QStringLiteral("登録完了しました") : QStringLiteral("更新しました"));
    fill();
}

void RuleWindow::deleteRow(int row)
{
    const ImportRules::Rule rule = m_rules.at(row - 1);
    if (!dialogs().ask(QStringLiteral("削除します　よろしいですか？")))
        return;
    if (!withWrite(QStringLiteral("取込ルール「") + rule.pattern + QStringLiteral("」を削除"),
            [&](Database &db) { ImportRules::remove(db, m_hokan->currentText(), rule); }))
        return;
    dialogs().info(QStringLiteral("削除しました"));
    fill();
}
