// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogWindow.h"

#include "Cp932.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

LogWindow::LogWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_log"));
    setWindowTitle(QStringLiteral("ログ表示"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);
    auto *top = new QHBoxLayout;
    auto *caption = new QLabel(QStringLiteral("操作ログ（新しい順）"), this);
    caption->setObjectName(QStringLiteral("Label1"));
    top->addWidget(caption, 1);
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    connect(end, &QPushButton::clicked, this, &QWidget::close);
    top->addWidget(end);
    outer->addLayout(top);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("txt_log"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setPlaceholderText(QStringLiteral("ログは空です"));
    outer->addWidget(m_text, 1);
    resize(560, 420);
}

QString LogWindow::unreadableMessage()
{
    return QStringLiteral("ログ（AP.log）を読めないため、表示できません");
}

void LogWindow::load()
{
    QFile f(context().logPath());
    if (!f.open(QIODevice::ReadOnly)) {
        dialogs().info(unreadableMessage());
        close();
        return;
    }
    QString text = Cp932::decode(f.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    m_text->setPlainText(text);
    m_text->moveCursor(QTextCursor::Start);
}
