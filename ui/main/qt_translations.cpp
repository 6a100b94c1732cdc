#include "ui/main/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "services/strings.h"

namespace {

std::unique_ptr<QTranslator> gToolkitTranslator;
int gToolkitLangBase = 200;  // the language the toolkit's texts are in

}  // namespace

QString ToolkitItalianFile() {
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_it.qm");
}

void FollowToolkitLanguage() {
  if (gLangBase == gToolkitLangBase || !QCoreApplication::instance()) return;
  ToolkitLanguageReset();
  gToolkitLangBase = gLangBase;
  if (gLangBase != 0) return;
  auto italian = std::make_unique<QTranslator>();
  if (!italian->load(ToolkitItalianFile())) return;
  QCoreApplication::installTranslator(italian.get());
  gToolkitTranslator = std::move(italian);
}

void ToolkitLanguageReset() {
  if (gToolkitTranslator) QCoreApplication::removeTranslator(gToolkitTranslator.get());
  gToolkitTranslator.reset();
  gToolkitLangBase = 200;
}
