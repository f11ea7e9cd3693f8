#include "app/qt_translations.h"

#include <QLibraryInfo>

namespace kestrin::app {

std::unique_ptr<QTranslator> QtTranslations(const QLocale& locale) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return nullptr;
  }
  return translator;
}

}  // namespace kestrin::app
