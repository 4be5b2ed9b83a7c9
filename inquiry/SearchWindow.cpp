// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchWindow.h"

#include "BasGeneral.h"
#include "BusyCursor.h"
#include "ChangeWindow.h"
#include "Csv.h"
#include "Database.h"
#include "Grid.h"
#include "PostingChange.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

enum Col { Date = 1, Kind, Item, Kubun, Place, Money, Memo, Change, Delete, ColCount = Delete };

constexpr qint64 numericLimit = 9'999'999'999;
const QString allPlaces = QStringLiteral("（すべて）");
// At start the program brings every ledger up to date; one put in place while it runs may lack
// the search copy, which only that upgrade makes.
const QString noCopyText
    = QStringLiteral("この家計簿は検索の準備ができていません。ヴェルモラを起動し直して下さい");

QLineEdit *newBox(const char *name, int maxLength, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0)
        box->setMaxLength(maxLength);
    return box;
}

QCheckBox *newKind(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(true);
    return box;
}

} // namespace

SearchWindow::SearchWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_kensaku"));
    setWindowTitle(QStringLiteral("明細検索"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);

    auto *top = new QHBoxLayout;
    auto *heading = makeHeading("Label1", QStringLiteral("明細検索"), this);
    top->addWidget(heading, 1);
    m_csv = new QPushButton(QStringLiteral("CSV出力"), this);
    m_csv->setObjectName(QStringLiteral("cmd_csv"));
    top->addWidget(m_csv, 0, Qt::AlignTop);
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    top->addWidget(m_end, 0, Qt::AlignTop);
    outer->addLayout(top);

    auto *form = new QGridLayout;
    m_word = newBox("txt_word", 0, this);
    m_word->setPlaceholderText(QStringLiteral("項目・区分・保管場所・メモの言葉（空白で区切って複数）"));
    m_from = newBox("txt_from", 8, this);
    m_to = newBox("txt_to", 8, this);
    m_min = newBox("txt_min", 10, this);
    m_max = newBox("txt_max", 10, this);
    m_hokan = new QComboBox(this);
    m_hokan->setObjectName(QStringLiteral("cb_hokan"));
    form->addWidget(new QLabel(QStringLiteral("言葉"), this), 0, 0);
    form->addWidget(m_word, 0, 1, 1, 5);
    form->addWidget(new QLabel(QStringLiteral("日付"), this), 1, 0);
    form->addWidget(m_from, 1, 1);
    form->addWidget(new QLabel(QStringLiteral("～"), this), 1, 2);
    form->addWidget(m_to, 1, 3);
    form->addWidget(new QLabel(QStringLiteral("保管場所"), this), 1, 4);
    form->addWidget(m_hokan, 1, 5);
    form->addWidget(new QLabel(QStringLiteral("金額"), this), 2, 0);
    form->addWidget(m_min, 2, 1);
    form->addWidget(new QLabel(QStringLiteral("～"), this), 2, 2);
    form->addWidget(m_max, 2, 3);
    auto *kinds = new QHBoxLayout;
    m_nyuukin = newKind("chk_nyuukin", QStringLiteral("収入"), this);
    m_syukkin = newKind("chk_syukkin", QStringLiteral("支出"), this);
    m_zidou = newKind("chk_zidou", QStringLiteral("自動引落"), this);
    m_idou = newKind("chk_idou", QStringLiteral("移動"), this);
    m_tanaorosi = newKind("chk_tanaorosi", QStringLiteral("棚卸"), this);
    for (QCheckBox *box : {m_nyuukin, m_syukkin, m_zidou, m_idou, m_tanaorosi})
        kinds->addWidget(box);
    kinds->addStretch(1);
    form->addLayout(kinds, 2, 4, 1, 2);
    form->setColumnStretch(5, 1);
    outer->addLayout(form);

    m_grid = new Grid(ColCount, 0, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    const struct
    {
        const char *heading;
        double width;
    } columns[] = {{"日付", 9}, {"種類", 7}, {"項目", 12}, {"区分", 9}, {"保管場所", 14}, {"金額", 11},
        {"メモ", 22}, {"修正", 5}, {"削除", 5}};
    for (int c = 1; c <= ColCount; ++c) {
        m_grid->setHeading(c, QString::fromUtf8(columns[c - 1].heading));
        m_grid->setColumnWidthChars(c, columns[c - 1].width);
        if (c == Money)
            m_grid->setNumericColumn(c, -numericLimit, numericLimit);
        else if (c == Change || c == Delete)
            m_grid->setButtonColumn(c, m_grid->heading(c));
        else
            m_grid->setTextColumn(c);
    }
    outer->addWidget(m_grid, 1);

    m_total = new QLabel(this);
    m_total->setObjectName(QStringLiteral("lbl_goukei"));
    outer->addWidget(m_total);

    m_pause = new QTimer(this);
    m_pause->setSingleShot(true);
    m_pause->setInterval(PauseMs);
    connect(m_pause, &QTimer::timeout, this, [this] { refresh(false); });
    for (QLineEdit *box : {m_word, m_from, m_to, m_min, m_max}) {
        connect(box, &QLineEdit::textEdited, m_pause, qOverload<>(&QTimer::start));
        connect(box, &QLineEdit::returnPressed, this, [this] {
            m_pause->stop();
            refresh(true);
        });
    }
    connect(m_hokan, &QComboBox::activated, this, [this] { refresh(true); });
    for (QCheckBox *box : {m_nyuukin, m_syukkin, m_zidou, m_idou, m_tanaorosi})
        connect(box, &QCheckBox::toggled, m_pause, qOverload<>(&QTimer::start));
    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) { buttonClicked(col, row); });
    connect(m_csv, &QPushButton::clicked, this, &SearchWindow::exportCsv);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);

    resize(980, 600);
}

void SearchWindow::load()
{
    withRead([&](Database &db) {
        QStringList places {allPlaces};
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T ORDER BY H_no")); !c.eof();
             c.next())
            places << c.text(0);
        m_hokan->clear();
        m_hokan->addItems(places);
    });
    refresh(true);
}

std::optional<PostingSearch::Conditions> SearchWindow::conditions(bool report)
{
    PostingSearch::Conditions cond;
    cond.words = m_word->text();
    // Dates are eight digits as in the posting windows; amounts are digits.
    const auto date = [&](QLineEdit *box, const QString &label, std::optional<int> &out) {
        const QString text = box->text().trimmed();
        if (text.isEmpty())
            return true;
        if (!report) {
            bool ok = false;
            const int value = text.toInt(&ok);
            if (text.size() != 8 || !ok || value < 0)
                return false;
            out = value;
            return true;
        }
        if (!BasGeneral::isDigitsOnly(text, dialogs())
            || !BasGeneral::hasLength(text, 8, BasGeneral::dateLengthMessage(label), dialogs())) {
            box->setFocus();
            return false;
        }
        out = text.toInt();
        return true;
    };
    const auto amount = [&](QLineEdit *box, std::optional<qint64> &out) {
        const QString text = box->text().trimmed();
        if (text.isEmpty())
            return true;
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok && value >= 0 && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })
            && text.size() <= 10) {
            out = value;
            return true;
        }
        if (report) {
            BasGeneral::isDigitsOnly(text, dialogs());
            box->setFocus();
        }
        return false;
    };
    if (!date(m_from, QStringLiteral("開始日"), cond.from) || !date(m_to, QStringLiteral("終了日"), cond.to)
        || !amount(m_min, cond.min) || !amount(m_max, cond.max))
        return std::nullopt;
    if (m_hokan->currentIndex() > 0)
        cond.hokan = m_hokan->currentText();
    cond.kinds.clear();
    const std::pair<QCheckBox *, char16_t> kinds[]
        = {{m_nyuukin, u'N'}, {m_syukkin, u'S'}, {m_zidou, u'Z'}, {m_idou, u'I'}, {m_tanaorosi, u'K'}};
    for (const auto &[box, kind] : kinds)
        if (box->isChecked())
            cond.kinds.insert(QChar(kind));
    return cond;
}

bool SearchWindow::refresh(bool report)
{
    const std::optional<PostingSearch::Conditions> cond = conditions(report);
    if (!cond)
        return false;
    PostingSearch::Result result;
    const bool ok = withDb([&] {
        const BusyCursor busy;
        result = PostingSearch::search(dbPath(), *cond);
    });
    if (!ok)
        return false;
    if (result.noCopy) {
        m_result = result;
        m_grid->replaceRows(GridColumns(ColCount));
        m_total->setText(noCopyText);
        if (report)
            dialogs().info(noCopyText);
        return false;
    }
    m_shownConditions = *cond;
    showResult(result);
    return true;
}

void SearchWindow::showResult(const PostingSearch::Result &result)
{
    m_result = result;
    GridColumns rows(ColCount);
    rows.reserve(int(result.hits.size()));
    for (const PostingSearch::Hit &h : result.hits) {
        const QString date = QString::number(h.date);
        const QString kind = PostingSearch::kindName(h.kind);
        const QString money = QString::number(h.money);
        const bool editable = h.kind != u'K';
        const QString change = editable ? QStringLiteral("修正") : QString();
        const QString remove = editable ? QStringLiteral("削除") : QString();
        rows.appendRow({date, kind, h.item, h.kubun, h.place, money, h.memo, change, remove});
    }
    m_grid->replaceRows(std::move(rows));
    for (int row = 1; row <= int(result.hits.size()); ++row)
        if (result.hits.at(row - 1).kind == u'K') {
            m_grid->setCellKind(Change, row, Grid::Kind::Text);
            m_grid->setCellKind(Delete, row, Grid::Kind::Text);
        }
    QString text = QStringLiteral("%1件　収入 %2　支出 %3")
                       .arg(QString::number(result.count), BasGeneral::formatYen(result.income),
                           BasGeneral::formatYen(result.expense));
    if (result.more() > 0)
        text += QStringLiteral("　（新しい%1件を表示、ほかに%2件）")
                    .arg(QString::number(result.hits.size()), QString::number(result.more()));
    m_total->setText(text);
}

void SearchWindow::buttonClicked(int col, int row)
{
    if (row < 1 || row > m_result.hits.size())
        return;
    const PostingSearch::Hit hit = m_result.hits.at(row - 1);
    if (hit.kind == u'K')
        return;
    if (col == Change)
        changeHit(hit);
    else if (col == Delete)
        deleteHit(hit);
}

QString SearchWindow::tableOf(const PostingSearch::Hit &hit)
{
    return hit.table == u"I" ? QStringLiteral("Idourireki_T") : hit.table;
}

void SearchWindow::deleteHit(const PostingSearch::Hit &hit)
{
    const QString table = tableOf(hit);
    std::optional<PostingChange::Row> row;
    PostingChange::Plan plan;
    if (!withRead([&](Database &db) {
            row = PostingChange::read(db, table, hit.rowid);
            if (row)
                plan = PostingChange::plan(db, *row, std::nullopt);
        }))
        return;
    if (!row) {
        dialogs().info(QStringLiteral("この明細はほかの操作で変更されています"));
        refresh(false);
        return;
    }
    if (!plan.refusal.isEmpty()) {
        dialogs().info(plan.refusal + QStringLiteral("。削除できません"));
        return;
    }
    const QString what = QString::number(row->values.date) + u' '
        + (table == u"Idourireki_T" ? row->values.place + QStringLiteral("→") + row->values.place2
                                    : row->values.item)
        + u' ' + BasGeneral::formatYen(row->values.money);
    QString question = what + QStringLiteral("を削除します　よろしいですか？");
    if (plan.stocktakeDay != 0)
        question += QStringLiteral("\r\n%1の金額棚卸で数え直しているため、現在の残高は変わりません")
                        .arg(QString::number(plan.stocktakeDay));
    if (!dialogs().ask(question))
        return;
    bool changedMeanwhile = false;
    QString refusal;
    withWrite(what + QStringLiteral("を削除"), [&](Database &db) {
        // Another program may have acted since the question: work on the row as it is now.
        const std::optional<PostingChange::Row> now = PostingChange::read(db, table, hit.rowid);
        if (!now || now->values != row->values) {
            changedMeanwhile = true;
            return;
        }
        const PostingChange::Plan current = PostingChange::plan(db, *now, std::nullopt);
        if (!current.refusal.isEmpty()) {
            refusal = current.refusal;
            return;
        }
        PostingChange::apply(db, *now, std::nullopt, current);
    });
    if (changedMeanwhile)
        dialogs().info(QStringLiteral("この明細はほかの操作で変更されています"));
    else if (!refusal.isEmpty())
        dialogs().info(refusal + QStringLiteral("。削除できません"));
    refresh(false);
}

void SearchWindow::changeHit(const PostingSearch::Hit &hit)
{
    auto *window = new ChangeWindow(context(), tableOf(hit), hit.rowid);
    window->setWindowModality(Qt::ApplicationModal);
    connect(window, &ChangeWindow::changed, this, [this] { refresh(false); });
    window->load();
    if (!window->isLoaded()) {
        delete window;
        dialogs().info(QStringLiteral("この明細はほかの操作で変更されています"));
        refresh(false);
        return;
    }
    window->show();
}

bool SearchWindow::writeCsv(QIODevice *out) const
{
    // Every hit, not only the rows shown, with what was written since folded first.
    const PostingSearch::Result all
        = PostingSearch::search(dbPath(), m_shownConditions, PostingSearch::NoLimit);
    Csv::Writer w(out);
    w.line({QStringLiteral("明細検索リスト"), QStringLiteral("%1件").arg(all.count)});
    w.line({Csv::createdLine(QStringLiteral("リスト作成日:"), clock())});
    w.line({QStringLiteral("日付"), QStringLiteral("種類"), QStringLiteral("項目"), QStringLiteral("区分"),
        QStringLiteral("保管場所"), QStringLiteral("金額"), QStringLiteral("メモ")});
    for (const PostingSearch::Hit &h : all.hits)
        w.line({QString::number(h.date), PostingSearch::kindName(h.kind), h.item, h.kubun, h.place,
            QString::number(h.money), h.memo});
    return w.finish();
}

void SearchWindow::exportCsv()
{
    if (m_result.noCopy) {
        dialogs().info(noCopyText);
        return;
    }
    withDb([&] {
        Csv::saveAs(dialogs(), context().appDir, QStringLiteral("明細検索.CSV"),
            [this](QIODevice *out) { return writeCsv(out); });
    });
}
