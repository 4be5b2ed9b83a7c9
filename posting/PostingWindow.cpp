// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostingWindow.h"

#include "Amount.h"
#include "BasGeneral.h"
#include "Database.h"
#include "Ledger.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

const qint64 amountLimit = 99'999'999;
const int textLimit = 60;
const int designRows = 500;

const QString crlf = QStringLiteral("\r\n");

} // namespace

PostingVocabulary PostingVocabulary::income()
{
    PostingVocabulary v;
    v.windowName = QStringLiteral("F_nyuukin");
    v.caption = QStringLiteral("収入登録画面");
    v.itemListSql = QStringLiteral("SELECT N_index,N_kubun,N_hokan,N_memo FROM Nyuukin_T");
    v.itemColumn = QStringLiteral("N_index");
    v.placeColumn = QStringLiteral("N_hokan");
    v.latestSqlPrefix = QStringLiteral("SELECT N_index,N_money,N_date FROM N where (N_index = '");
    v.latestSqlSuffix = QStringLiteral("') ORDER BY N_date DESC");
    v.latestDateColumn = QStringLiteral("N_date");
    v.latestAmountColumn = QStringLiteral("N_money");
    v.columns = {{QStringLiteral("項目"), 16.75}, {QStringLiteral("保管場所"), 11.87},
        {QStringLiteral("収入金額"), 10.0}, {QStringLiteral("前回入力日"), 9.87},
        {QStringLiteral("前回収入額"), 10.5}, {QStringLiteral("備考"), 20.87},
        {QStringLiteral("入金処理実行"), 8.0}};
    v.hasMemo = true;
    v.latestAmountNumeric = true;
    v.buttonCaption = QStringLiteral("処理実行");
    v.confirmJoin = QStringLiteral("へ");
    v.confirmAmount = QStringLiteral("　 \\");
    v.confirmVerb = QStringLiteral("を入金します。");
    v.actionAmount = QStringLiteral(" \\");
    v.actionVerb = QStringLiteral("を入金");
    v.resultJoin = QStringLiteral("　へ　");
    v.resultAmount = QStringLiteral("　\\");
    v.resultVerb = QStringLiteral("を入金しました");
    v.resultBefore = QStringLiteral("(入金前 \\");
    v.resultAfter = QStringLiteral("→入金後 \\");
    v.kind = Ledger::Kind::Income;
    return v;
}

PostingVocabulary PostingVocabulary::expense()
{
    PostingVocabulary v;
    v.windowName = QStringLiteral("F_syukkin");
    v.caption = QStringLiteral("支出登録画面");
    v.itemListSql
        = QStringLiteral("SELECT S_index,S_kubun,S_hokan,S_memo FROM Syukkin_T WHERE (Not S_kubun = '自動')");
    v.itemColumn = QStringLiteral("S_index");
    v.placeColumn = QStringLiteral("S_hokan");
    v.latestSqlPrefix = QStringLiteral("SELECT S_index,S_money,S_date FROM S where (S_index = '");
    v.latestSqlSuffix = QStringLiteral("') ORDER BY S_date DESC");
    v.latestDateColumn = QStringLiteral("S_date");
    v.latestAmountColumn = QStringLiteral("S_money");
    v.columns = {{QStringLiteral("項目"), 16.62}, {QStringLiteral("保管場所"), 11.25},
        {QStringLiteral("支出金額"), 10.62}, {QStringLiteral("前回入力日"), 10.25},
        {QStringLiteral("前回支出額"), 9.87}, {QStringLiteral("備考"), 19.5},
        {QStringLiteral("出金処理"), 10.0}};
    v.hasMemo = true;
    v.latestAmountNumeric = false;
    v.buttonCaption = QStringLiteral("処理実行");
    v.confirmJoin = QStringLiteral("から");
    v.confirmAmount = QStringLiteral("代　 \\");
    v.confirmVerb = QStringLiteral("を出金します。");
    v.actionAmount = QStringLiteral("代 \\");
    v.actionVerb = QStringLiteral("を出金");
    v.resultJoin = QStringLiteral("　から　");
    v.resultAmount = QStringLiteral("代　\\");
    v.resultVerb = QStringLiteral("を出金しました");
    v.resultBefore = QStringLiteral("(出金前 \\");
    v.resultAfter = QStringLiteral("→出金後 \\");
    v.kind = Ledger::Kind::Expense;
    return v;
}

PostingVocabulary PostingVocabulary::debit()
{
    PostingVocabulary v;
    v.windowName = QStringLiteral("F_zidou");
    v.caption = QStringLiteral("自動引落処理画面");
    v.itemListSql = QStringLiteral("SELECT S_index,S_kubun,S_hokan FROM Syukkin_T where (S_kubun= '自動')");
    v.itemColumn = QStringLiteral("S_index");
    v.placeColumn = QStringLiteral("S_hokan");
    v.latestSqlPrefix
        = QStringLiteral("SELECT Z_index,Z_money,Z_beforeday FROM Zidourireki_T where (Z_index = '");
    v.latestSqlSuffix = QStringLiteral("') ORDER BY Z_beforeday DESC");
    v.latestDateColumn = QStringLiteral("Z_beforeday");
    v.latestAmountColumn = QStringLiteral("Z_money");
    v.columns = {{QStringLiteral("項目"), 16.75}, {QStringLiteral("保管場所"), 13.25},
        {QStringLiteral("引落金額"), 12.12}, {QStringLiteral("前回引落日"), 9.25},
        {QStringLiteral("前回引落金額"), 9.75}, {QStringLiteral("自動引落処理"), 11.87}};
    v.hasMemo = false;
    v.latestAmountNumeric = true;
    v.buttonCaption = QStringLiteral("引落処理実行");
    v.confirmJoin = QStringLiteral("より");
    v.confirmAmount = QStringLiteral("代 \\");
    v.confirmVerb = QStringLiteral("を引きます。");
    v.actionAmount = QStringLiteral("代 \\");
    v.actionVerb = QStringLiteral("を自動引落");
    v.resultJoin = QStringLiteral("より");
    v.resultAmount = QStringLiteral("代　\\");
    v.resultVerb = QStringLiteral("を自動引落しました");
    v.resultBefore = QStringLiteral("(引落前 \\");
    v.resultAfter = QStringLiteral("→引落後 \\");
    v.kind = Ledger::Kind::Debit;
    return v;
}

PostingWindow::PostingWindow(const AppContext &context, PostingVocabulary vocabulary, QWidget *parent)
    : TaskWindow(context, parent)
    , m_vocab(std::move(vocabulary))
{
    setObjectName(m_vocab.windowName);
    setWindowTitle(m_vocab.caption);

    m_heading = new QLabel(m_vocab.caption, this);
    m_heading->setObjectName(QStringLiteral("Label5"));
    QFont headingFont = m_heading->font();
    headingFont.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.6);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);

    auto *dayLabel = new QLabel(QStringLiteral("処理日"), this);
    dayLabel->setObjectName(QStringLiteral("Label2"));
    m_day = new QLineEdit(this);
    m_day->setObjectName(QStringLiteral("txt_day"));
    m_day->setFixedWidth(m_day->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 16);
    dayLabel->setBuddy(m_day);
    connect(m_day, &QLineEdit::textChanged, this, &PostingWindow::dayChanged);

    const int cols = int(m_vocab.columns.size());
    m_grid = new Grid(cols, designRows, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    for (int c = 1; c <= cols; ++c) {
        m_grid->setHeading(c, m_vocab.columns[c - 1].heading);
        m_grid->setColumnWidthChars(c, m_vocab.columns[c - 1].width);
    }
    m_grid->setTextColumn(1, textLimit);
    m_grid->setTextColumn(2, textLimit);
    m_grid->setIntegerColumn(amountCol(), -amountLimit, amountLimit, false);
    m_grid->setTextColumn(4, textLimit);
    if (m_vocab.latestAmountNumeric)
        m_grid->setNumericColumn(5, -amountLimit, amountLimit);
    else
        m_grid->setTextColumn(5, textLimit);
    if (memoCol())
        m_grid->setTextColumn(memoCol(), textLimit, false);
    m_grid->setButtonColumn(buttonCol(), m_vocab.buttonCaption);
    connect(m_grid, &Grid::buttonClicked, this, [this](int, int row, bool) { post(row); });

    // Wide enough to show every column without a horizontal scroll bar.
    int gridWidth = 2 * m_grid->frameWidth() + m_grid->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < cols; ++c)
        gridWidth += m_grid->columnWidth(c);
    m_grid->setMinimumWidth(gridWidth);
    m_grid->setMinimumHeight(m_grid->horizontalHeader()->sizeHint().height()
        + 12 * m_grid->verticalHeader()->defaultSectionSize() + 2 * m_grid->frameWidth());

    auto *resultLabel = new QLabel(QStringLiteral("処理結果表示"), this);
    resultLabel->setObjectName(QStringLiteral("Label1"));
    m_result = new QPlainTextEdit(this);
    m_result->setObjectName(QStringLiteral("txt_kekka"));
    m_result->setReadOnly(true);
    m_result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_result->setFixedHeight(m_result->fontMetrics().lineSpacing() * 4 + 12);
    resultLabel->setBuddy(m_result);

    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    m_end->setMinimumSize(96, 36);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(m_heading);
    auto *dayRow = new QHBoxLayout;
    dayRow->addWidget(dayLabel);
    dayRow->addWidget(m_day);
    dayRow->addStretch(1);
    layout->addLayout(dayRow);
    layout->addWidget(m_grid, 1);
    auto *bottom = new QHBoxLayout;
    auto *resultBox = new QVBoxLayout;
    resultBox->setSpacing(2);
    resultBox->addWidget(resultLabel);
    resultBox->addWidget(m_result);
    bottom->addLayout(resultBox, 1);
    bottom->addSpacing(24);
    bottom->addWidget(m_end, 0, Qt::AlignBottom);
    layout->addLayout(bottom);
}

PostingWindow *PostingWindow::newIncome(const AppContext &context)
{
    return new PostingWindow(context, PostingVocabulary::income());
}

PostingWindow *PostingWindow::newExpense(const AppContext &context)
{
    return new PostingWindow(context, PostingVocabulary::expense());
}

PostingWindow *PostingWindow::newDebit(const AppContext &context)
{
    return new PostingWindow(context, PostingVocabulary::debit());
}

void PostingWindow::dayChanged(const QString &text)
{
    m_dateValid = BasGeneral::isDigitsOnly(text, dialogs());
}

void PostingWindow::load()
{
    if (m_day->text().isEmpty())
        m_day->setText(clock().today().toString(QStringLiteral("yyyyMMdd")));

    withDb([&] {
        Database db(dbPath());
        int rows = 0;
        for (Cursor c = db.query(m_vocab.itemListSql); !c.eof(); c.next()) {
            ++rows;
            if (rows > m_grid->maxRows())
                m_grid->setMaxRows(rows);
            m_grid->setText(1, rows, c.text(m_vocab.itemColumn));
            m_grid->setText(2, rows, c.text(m_vocab.placeColumn));
        }
        m_grid->setMaxRows(rows);

        // The latest posting of each item. An item without one keeps what its row showed,
        // and a lookup that fails leaves its row as it was: the list itself is still usable.
        for (int r = 1; r <= rows; ++r) {
            m_grid->setText(amountCol(), r, QString());
            if (memoCol())
                m_grid->setText(memoCol(), r, QString());
            try {
                const Cursor latest = db.query(
                    m_vocab.latestSqlPrefix + Database::escape(m_grid->text(1, r)) + m_vocab.latestSqlSuffix);
                if (!latest.eof()) {
                    m_grid->setText(4, r, latest.text(m_vocab.latestDateColumn));
                    m_grid->setText(5, r, latest.text(m_vocab.latestAmountColumn));
                }
            } catch (const DbError &e) {
                qInfo("latest posting of row %d not read: %s", r, e.what());
            }
        }
    });
}

void PostingWindow::post(int row)
{
    if (!m_dateValid) {
        dialogs().info(QStringLiteral("処理日が正しくありません"));
        return;
    }
    const QString dayText = m_day->text();
    if (!BasGeneral::hasLength(
            dayText, 8, BasGeneral::dateLengthMessage(QStringLiteral("処理日付")), dialogs()))
        return;

    const QString item = m_grid->text(1, row);
    const QString place = m_grid->text(2, row);
    if (place == QLatin1String("0") || place.isEmpty()) {
        dialogs().info(QStringLiteral(
            "保管場所が設定されていない項目があります。保管場所ﾏｽﾀﾒﾝﾃﾝﾅﾝｽで設定後再処理して下さい。"));
        return;
    }
    const QString amountText = m_grid->text(amountCol(), row);
    if (amountText == QLatin1String("0") || amountText.isEmpty()) {
        dialogs().info(QStringLiteral("金額を入力して下さい"));
        return;
    }
    // The cell only takes whole numbers in range, but a text that is no 32-bit number must
    // never reach the balance.
    const std::optional<qint32> parsed = Amount::parseSigned(amountText);
    if (!parsed) {
        dialogs().info(QStringLiteral("数値を入力して下さい"));
        return;
    }
    const qint32 amount = *parsed;
    const QString memo = memoCol() ? m_grid->text(memoCol(), row) : QString();
    const qint32 date = dayText.toInt();

    m_result->clear();
    const QString amountDigits = QString::number(amount);
    if (!dialogs().ask(place + m_vocab.confirmJoin + item + m_vocab.confirmAmount + amountDigits
            + m_vocab.confirmVerb + crlf + QStringLiteral("よろしいですか？")))
        return;

    Ledger::Outcome outcome;
    const QString description
        = place + m_vocab.confirmJoin + item + m_vocab.actionAmount + amountDigits + m_vocab.actionVerb;
    const bool ok = withWrite(description, [&](Database &db) {
        outcome = Ledger(db).post({m_vocab.kind, item, place, amount, date, memo});
    });
    if (!ok)
        return;
    if (!outcome.done()) {
        dialogs().info(outcome.refusal);
        return;
    }
    const qint32 before = outcome.before;
    const qint32 after = outcome.after;
    m_result->setPlainText(place + m_vocab.resultJoin + item + m_vocab.resultAmount + amountDigits
        + m_vocab.resultVerb + crlf + m_vocab.resultBefore + QString::number(before) + m_vocab.resultAfter
        + QString::number(after) + QStringLiteral(")") + crlf + QStringLiteral("処理完了"));
    load();
}
