// Which entry of an editable drop-down list counts as chosen, for the dialogs' device and
// channel lists: the current one if the field still shows its text, else the one whose text
// the field holds exactly; -1 when none (an emptied field selects nothing).
#ifndef KOVRA_RES_COMBOSELECTION_H
#define KOVRA_RES_COMBOSELECTION_H

#include <QComboBox>

inline int SelectedComboEntry(const QComboBox* combo)
{
    const QString text = combo->currentText();
    const int current = combo->currentIndex();
    if (current >= 0 && combo->itemText(current) == text) return current;
    if (text.isEmpty()) return -1;
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

#endif
