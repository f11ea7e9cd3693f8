// Qt's own texts in the user's language: the file dialogs, the buttons of
// message boxes, the context menus of text fields. Kestrin's own captions
// and messages are Japanese whatever the locale; these are the parts that
// Qt draws itself.
#pragma once

#include <memory>

#include <QLocale>
#include <QTranslator>

namespace kestrin::app {

// Qt's translations ("qtbase", from Qt's translations folder) for the
// languages of `locale` (by default the user's: LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG), loaded and ready to install on the application before
// the first window is made; null when Qt has none for them (the C locale,
// English), and Qt's texts then stay in English.
std::unique_ptr<QTranslator> QtTranslations(const QLocale& locale = QLocale::system());

}  // namespace kestrin::app
