#include "uitranslation.h"

#include <QLocale>
#include <QTranslator>

QString loadUiTranslation(QTranslator &translator, const QStringList &uiLanguages)
{
    for (const QString &language : uiLanguages) {
        const QString baseName = QLatin1String("Benchmate_") + QLocale(language).name();
        if (translator.load(QLatin1String(":/i18n/") + baseName))
            return baseName;
    }
    return QString();
}
