#ifndef UITRANSLATION_H
#define UITRANSLATION_H

#include <QString>
#include <QStringList>

class QTranslator;

// Loads the first of Benchmate's compiled-in catalogues (":/i18n/Benchmate_"
// + locale name, e.g. Benchmate_zh_CN) that matches one of the interface
// languages, tried in the given order (e.g. QLocale::system().uiLanguages()).
// Returns the base name of the loaded catalogue, or an empty text when none
// loaded; the caller installs the translator only on success.
QString loadUiTranslation(QTranslator &translator, const QStringList &uiLanguages);

#endif // UITRANSLATION_H
