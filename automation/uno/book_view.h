// Showing, hiding and saving one workbook. The office writes a workbook's
// active sheet and selection only from a view that has been shown and is
// the current one, and the first showing of a view applies the file's own
// view settings: these keep what the program chose through both.
// Internal to automation/uno/.
#pragma once

#include "automation/uno/workbooks.h"

namespace kestrin::automation::uno {

enum class ShowMode {
  kOnScreen,   // for the user
  kOffScreen,  // a real window, placed where nobody sees it
  kNoWindow,   // in a headless office, where showing creates no window
};

// Makes the book's view visible and current, keeping the active sheet and
// selection that the program chose while it was hidden.
void Show(Book& book, ShowMode mode);
void Hide(Book& book);

// Stores the workbook in its own file and format; the saved file opens on
// the active sheet. A hidden view is shown for the save (off screen when the
// office has a display, and hidden again).
void Store(Book& book, bool headless);

}  // namespace kestrin::automation::uno
