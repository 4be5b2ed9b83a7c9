// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileHeader.h"

#include "Grid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

FileHeader::FileHeader(const Texts &texts, QComboBox *place, QWidget *parent)
    : QWidget(parent)
{
    m_fileButton = new QPushButton(QStringLiteral("ファイル選択..."), this);
    m_fileButton->setObjectName(QStringLiteral("cmd_file"));
    m_fileLabel = new QLabel(this);
    m_fileLabel->setObjectName(QStringLiteral("lbl_file"));
    m_fileLabel->setWordWrap(true);
    m_fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hint = new QLabel(texts.hint, this);
    m_hint->setObjectName(QStringLiteral("lbl_hint"));
    m_hint->setWordWrap(true);
    m_preset = new QComboBox(this);
    m_preset->setObjectName(QStringLiteral("cb_preset"));
    m_preset->setMinimumContentsLength(18);
    m_presetButton = new QPushButton(texts.presetButton, this);
    m_presetButton->setObjectName(QStringLiteral("cmd_preset"));
    auto *presetLabel = new QLabel(texts.presetLabel, this);
    presetLabel->setObjectName(QStringLiteral("Label2"));
    auto *placeLabel = new QLabel(texts.placeLabel, this);
    placeLabel->setObjectName(QStringLiteral("Label3"));
    place->setParent(this);

    auto *files = new QHBoxLayout;
    files->addWidget(m_fileButton);
    files->addWidget(m_fileLabel, 1);
    auto *choices = new QHBoxLayout;
    choices->addWidget(presetLabel);
    choices->addWidget(m_preset);
    choices->addWidget(m_presetButton);
    choices->addSpacing(16);
    choices->addWidget(placeLabel);
    choices->addWidget(place);
    choices->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(files);
    layout->addWidget(m_hint);
    layout->addLayout(choices);
}

void FileHeader::setColumns(Grid &grid, std::initializer_list<Column> columns)
{
    for (const Column &c : columns) {
        grid.setHeading(c.col, QString::fromUtf8(c.heading));
        grid.setColumnWidthChars(c.col, c.width);
    }
}

QPlainTextEdit *FileHeader::resultPane(QWidget *parent)
{
    auto *pane = new QPlainTextEdit(parent);
    pane->setObjectName(QStringLiteral("txt_kekka"));
    pane->setReadOnly(true);
    pane->setMaximumHeight(pane->fontMetrics().lineSpacing() * 5);
    return pane;
}
