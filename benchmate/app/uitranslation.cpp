#include "uitranslation.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>

namespace {

const char *const settingsKey = "language";

// The operator's own settings (not the station's): on Windows under the
// user's application data, on Linux ~/.config/TK716A/Benchmate.ini.
#define USER_SETTINGS(name)                                                                        \
    QSettings name(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TK716A"),           \
                   QStringLiteral("Benchmate"))

// Where Qt keeps its own catalogues (qtbase_zh_CN.qm: the dialogs' buttons,
// the line edits' menus).
QString qtTranslationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

} // namespace

QString loadUiTranslation(QTranslator &translator, const QStringList &uiLanguages)
{
    for (const QString &language : uiLanguages) {
        // The locale's name (zh_CN), else its language alone (en).
        const QString name = QLocale(language).name();
        for (const QString &tag : {name, name.section(QLatin1Char('_'), 0, 0)}) {
            const QString baseName = QLatin1String("Benchmate_") + tag;
            const QString path = QLatin1String(":/i18n/") + baseName + QLatin1String(".qm");
            if (QFile::exists(path) && translator.load(path))
                return baseName;
        }
    }
    return QString();
}

QStringList UiLanguage::languages()
{
    return {QStringLiteral("zh_CN"), QStringLiteral("en")};
}

UiLanguage::UiLanguage(QObject *parent)
    : QObject(parent)
{}

UiLanguage::~UiLanguage()
{
    if (m_installed)
        QCoreApplication::removeTranslator(&m_translator);
    if (m_qtInstalled)
        QCoreApplication::removeTranslator(&m_qtTranslator);
}

void UiLanguage::start(const QStringList &uiLanguages)
{
    USER_SETTINGS(settings);
    const QString remembered = settings.value(QLatin1String(settingsKey)).toString();
    if (languages().contains(remembered) && install(remembered))
        return;
    QTranslator probe;
    const QString found = loadUiTranslation(probe, uiLanguages);
    install(found.isEmpty() ? QStringLiteral("zh_CN") : found.mid(int(qstrlen("Benchmate_"))));
}

bool UiLanguage::set(const QString &language)
{
    if (!languages().contains(language) || !install(language))
        return false;
    USER_SETTINGS(settings);
    settings.setValue(QLatin1String(settingsKey), language);
    return true;
}

bool UiLanguage::install(const QString &language)
{
    if (m_installed) {
        QCoreApplication::removeTranslator(&m_translator);
        m_installed = false;
    }
    if (!m_translator.load(QStringLiteral(":/i18n/Benchmate_") + language + QStringLiteral(".qm")))
        return false;
    // The Chinese catalogue translates nothing (the window's texts are
    // Chinese): an empty catalogue is not installed, taking the other one
    // away is all it takes.
    if (!m_translator.isEmpty())
        m_installed = QCoreApplication::installTranslator(&m_translator);
    installQtTranslation(language);
    m_current = language;
    emit changed(language);
    return m_translator.isEmpty() || m_installed;
}

// Qt's own texts in the window's language: 是/否/确定 on a Chinese
// window's dialogs, not Yes/No/OK. Qt's texts are English already; a
// missing catalogue leaves them English, and the window works on.
void UiLanguage::installQtTranslation(const QString &language)
{
    if (m_qtInstalled) {
        QCoreApplication::removeTranslator(&m_qtTranslator);
        m_qtInstalled = false;
    }
    if (language == QLatin1String("en"))
        return;
    if (m_qtTranslator.load(QStringLiteral("qtbase_") + language, qtTranslationsPath()))
        m_qtInstalled = QCoreApplication::installTranslator(&m_qtTranslator);
}

void UiLanguage::attachMenu(QAction *chinese, QAction *english)
{
    auto *group = new QActionGroup(this);
    group->addAction(chinese);
    group->addAction(english);
    chinese->setData(QStringLiteral("zh_CN"));
    english->setData(QStringLiteral("en"));
    chinese->setChecked(true);
    connect(group, &QActionGroup::triggered, this,
            [this](QAction *action) { set(action->data().toString()); });
    connect(this, &UiLanguage::changed, this, [chinese, english](const QString &language) {
        chinese->setChecked(language == chinese->data().toString());
        english->setChecked(language == english->data().toString());
    });
}
