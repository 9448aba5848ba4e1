// The wizard's fixed lists: each item is one value of a rule-word field,
// in the order the lists show them, with the phrase of its text.
#pragma once

#include <QComboBox>
#include <cstdint>
#include <span>

#include "app/qt_text.h"
#include "markup/qxlang.h"

namespace sync_form_rules {

struct item {
    int32_t value;
    int phrase;
};

inline constexpr item directions[] = {{0x1, 273}, {0x2, 274}, {0x3, 275}};
inline constexpr item transfers[] = {{0x4, 317}, {0x8, 318}, {0xC, 319}};
inline constexpr item missing_overwrite[] = {{0x10, 276}, {0x30, 277}, {0x20, 295}};
inline constexpr item links[] = {{0x80, 320}, {0xC0, 321}, {0x40, 322}};
inline constexpr item times[] = {{0x400, 278},  {0x800, 289},  {0xC00, 290}, {0x1000, 291},
                                 {0x1400, 292}, {0x1800, 293}, {0x1C00, 294}};
inline constexpr item sizes[] = {{0xE000, 296}, {0xA000, 297}, {0x8000, 298}, {0x2000, 299},
                                 {0x4000, 300}, {0xC000, 301}, {0x6000, 302}};

inline void fill(QComboBox* box, std::span<const item> items, const qvtf::qxlang* language)
{
    box->clear();
    for (const item& i : items)
        box->addItem(language ? to_qt(language->text(i.phrase)) : QString::number(i.value), i.value);
}

// Selects the item holding value, or the first item when none does.
inline void select(QComboBox* box, int32_t value)
{
    const int index = box->findData(value);
    box->setCurrentIndex(index >= 0 ? index : 0);
}

// The chosen item's value; no selection counts as the first item.
inline int32_t chosen(const QComboBox* box)
{
    const int index = box->currentIndex() >= 0 ? box->currentIndex() : 0;
    return box->count() ? box->itemData(index).toInt() : 0;
}

}  // namespace sync_form_rules
