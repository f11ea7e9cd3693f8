#include "automation/uno/workbooks.h"

#include <algorithm>
#include <utility>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "automation/failure.h"
#include "automation/messages.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

NumberFormatKeys& Book::Formats() {
  if (!formats) formats.emplace(Reference<css::util::XNumberFormatsSupplier>(doc, UNO_QUERY_THROW));
  return *formats;
}

Book& Workbooks::Active() {
  if (books_.empty()) {
    throw AutomationError(errnum::kObjectNotSet,
                          msg::kNoBookOpen({errnum::kObjectNotSet.Description()}));
  }
  return books_.back();
}

Book* Workbooks::Find(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  for (Book& b : books_) {
    if (b.doc == doc) return &b;
  }
  return nullptr;
}

Book* Workbooks::Find(const std::filesystem::path& path) {
  for (Book& b : books_) {
    if (b.path == path) return &b;
  }
  return nullptr;
}

bool Workbooks::MakeActive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  auto it = std::find_if(books_.begin(), books_.end(), [&](const Book& b) { return b.doc == doc; });
  if (it == books_.end()) return false;
  std::rotate(it, it + 1, books_.end());
  return true;
}

Book& Workbooks::Add(Book book) {
  books_.push_back(std::move(book));
  return books_.back();
}

void Workbooks::Remove(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  std::erase_if(books_, [&](const Book& b) { return b.doc == doc; });
}

bool Workbooks::ForgetClosed() {
  return std::erase_if(books_, [](const Book& b) { return !Alive(b.doc); }) > 0;
}

Reference<css::sheet::XSpreadsheetView> Workbooks::View(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
  Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
  if (!view.is()) throw AutomationError(kAppDefined, msg::kNoBookView());
  return view;
}

Reference<css::sheet::XSpreadsheet> Workbooks::ActiveSheetOf(const Book& book) {
  return View(book.doc)->getActiveSheet();
}

bool Workbooks::Alive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  try {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    model->getURL();
    return model->getCurrentController().is();
  } catch (const css::uno::Exception&) {
    return false;
  }
}

void Workbooks::Close(const Reference<css::lang::XComponent>& component) {
  Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
  try {
    if (closeable.is()) {
      closeable->close(true);
      return;
    }
  } catch (const css::util::CloseVetoException&) {
  }
  component->dispose();
}

}  // namespace kestrin::automation::uno
