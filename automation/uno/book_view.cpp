#include "automation/uno/book_view.h"

#include <chrono>
#include <thread>

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Activates the frame of a window just shown. On an X display, and in a
// headless office, that is done from here. On Wayland the compositor
// activates a window it shows, through the office's own event loop, and
// activating it from here, off that loop, can end the office: that is waited
// for instead (up to 3 s), so that the view set afterwards is not replaced
// by the file's own when the activation comes.
void ActivateShown(const Reference<css::frame::XFrame>& frame, bool headless) {
  if (headless || HaveXDisplay()) {
    frame->activate();
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!frame->isActive() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

void Show(Book& book, ShowMode mode) {
  Reference<css::sheet::XSpreadsheetView> view = Workbooks::View(book.doc);
  Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
  Reference<css::view::XSelectionSupplier> selection(view, UNO_QUERY_THROW);
  Any selected = selection->getSelection();
  Reference<css::frame::XController> controller(view, UNO_QUERY_THROW);
  Reference<css::frame::XFrame> frame = controller->getFrame();
  Reference<css::awt::XWindow> window = frame->getContainerWindow();
  if (mode == ShowMode::kOffScreen) {
    window->setPosSize(-30000, -30000, 0, 0, css::awt::PosSize::X | css::awt::PosSize::Y);
  } else if (mode == ShowMode::kOnScreen && !book.shown) {
    window->setPosSize(0, 0, 0, 0, css::awt::PosSize::X | css::awt::PosSize::Y);
  }
  window->setVisible(true);
  ActivateShown(frame, mode == ShowMode::kNoWindow);
  if (mode == ShowMode::kOnScreen) {
    Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
    if (top.is()) top->toFront();
  }
  book.shown = mode != ShowMode::kOffScreen;
  book.on_screen = mode == ShowMode::kOnScreen;
  if (book.view_chosen || book.view_applied) {
    view->setActiveSheet(sheet);
    if (selected.hasValue()) selection->select(selected);
  }
  book.view_applied = true;
}

void Hide(Book& book) {
  Reference<css::frame::XController> controller(Workbooks::View(book.doc), UNO_QUERY_THROW);
  controller->getFrame()->getContainerWindow()->setVisible(false);
  book.shown = false;
  book.on_screen = false;
}

void Store(Book& book, bool headless) {
  const bool was_shown = book.shown;
  Show(book, headless    ? ShowMode::kNoWindow
             : was_shown ? ShowMode::kOnScreen
                         : ShowMode::kOffScreen);
  Reference<css::frame::XStorable>(book.doc, UNO_QUERY_THROW)->store();
  if (!headless && !was_shown) Hide(book);
}

}  // namespace kestrin::automation::uno
