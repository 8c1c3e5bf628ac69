// Chooses a popup menu's item as the user would: the menu is told it opens (so it sets its
// items' visibility and check marks), then the item with the caption is triggered.
#pragma once

#include <QAction>
#include <QMenu>
#include <QString>

#include <gtest/gtest.h>

namespace tarvel::ui {

inline void ChooseMenuItem(QMenu* menu, const QString& caption) {
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  for (QAction* a : menu->actions()) {
    if (a->text() == caption) {
      a->trigger();
      return;
    }
  }
  ADD_FAILURE() << menu->objectName().toStdString() << " has no item " << caption.toStdString();
}

}  // namespace tarvel::ui
