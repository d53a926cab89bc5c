#ifndef UITRANSLATION_H
#define UITRANSLATION_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTranslator>

class QAction;

// Loads the first of Benchmate's compiled-in catalogues (":/i18n/Benchmate_"
// + locale name, e.g. Benchmate_zh_CN, or + language alone, e.g. Benchmate_en)
// that matches one of the interface languages, tried in the given order
// (e.g. QLocale::system().uiLanguages()). Returns the base name of the loaded
// catalogue, or an empty text when none loaded; the caller installs the
// translator only on success.
QString loadUiTranslation(QTranslator &translator, const QStringList &uiLanguages);

// The language of the operator's window: the catalogue installed into the
// application, chosen at start from the one the operator last chose (kept
// in the user's settings, QSettings "TK716A"/"Benchmate", key "language"),
// else from the system's interface languages; switched at any time, with
// Qt's own catalogue of the language (its dialogs' buttons). The
// window's source texts are Chinese; the engine's log lines, the daily log,
// the settings file and the results file are never translated.
class UiLanguage : public QObject
{
    Q_OBJECT

public:
    // The languages the window speaks: "zh_CN" (its own texts) and "en".
    static QStringList languages();

    explicit UiLanguage(QObject *parent = nullptr);
    ~UiLanguage() override;

    // The remembered language, else the first system language there is a
    // catalogue for, else Chinese.
    void start(const QStringList &uiLanguages);
    // Installs `language` (one of languages()) and remembers it.
    bool set(const QString &language);
    QString current() const { return m_current; }

    // A menu of the languages: each action chooses its language when
    // triggered and is checked while its language is the current one.
    void attachMenu(QAction *chinese, QAction *english);

signals:
    void changed(const QString &language);

private:
    bool install(const QString &language);
    void installQtTranslation(const QString &language);

    QTranslator m_translator;
    bool m_installed = false;
    // Qt's own catalogue of the language (qtbase_zh_CN).
    QTranslator m_qtTranslator;
    bool m_qtInstalled = false;
    QString m_current = QStringLiteral("zh_CN");
};

#endif // UITRANSLATION_H
