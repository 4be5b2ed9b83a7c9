// SPDX-License-Identifier: GPL-3.0-or-later
#include "ItemVocabulary.h"

const ItemVocabulary &ItemVocabulary::income()
{
    static const ItemVocabulary v {
        QStringLiteral("F_nyuM"),
        QStringLiteral("収入マスタメンテンナス"),
        QStringLiteral("収入名"),
        QStringLiteral("Nyuukin_T"),
        QStringLiteral("N_index"),
        QStringLiteral("N_kubun"),
        QStringLiteral("N_hokan"),
        QStringLiteral("N_memo"),
        QStringLiteral("N"),
        QStringLiteral("この収入名は既に使用されています 登録できません"),
        QStringLiteral("収入名が入力されていません"),
        QStringLiteral("]に変更し、現在までの収入実績データも変更します。　よろしいですか？"),
    };
    return v;
}

const ItemVocabulary &ItemVocabulary::expense()
{
    static const ItemVocabulary v {
        QStringLiteral("F_syuM"),
        QStringLiteral("支出マスタメンテンナス"),
        QStringLiteral("支出名"),
        QStringLiteral("Syukkin_T"),
        QStringLiteral("S_index"),
        QStringLiteral("S_kubun"),
        QStringLiteral("S_hokan"),
        QStringLiteral("S_memo"),
        QStringLiteral("S"),
        QStringLiteral("この支出名は既に使用されています 登録できません"),
        QStringLiteral("支出名が入力されていません"),
        QStringLiteral("]に変更し、現在までの支出実績データも変更します。　よろしいですか？"),
    };
    return v;
}
