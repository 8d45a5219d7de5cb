#include "app/window_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <optional>

namespace abonex {

namespace {

// "ru_RU.UTF-8", "ru", "en_GB@euro": Russian, English or neither.
std::optional<WindowLanguage> languageOf(const QString& name) {
    const QString code = name.section(u'.', 0, 0).section(u'@', 0, 0).section(u'_', 0, 0);
    if (code.compare(QLatin1String("ru"), Qt::CaseInsensitive) == 0) return WindowLanguage::Russian;
    if (code.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0) return WindowLanguage::English;
    return std::nullopt;
}

QString variable(const char* name) {
    return qEnvironmentVariable(name).trimmed();
}

// The translation of the program's texts into `language`; nullptr for the texts as written.
QTranslator* loadTranslation(WindowLanguage language, QObject* parent) {
    if (language != WindowLanguage::English) return nullptr;
    auto* translator = new QTranslator(parent);
    if (!translator->load(QStringLiteral(":/i18n/abonex_en.qm"))) {
        delete translator;
        return nullptr;
    }
    return translator;
}

}  // namespace

WindowLanguage windowLanguage() {
    QString locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = variable(name);
        if (!locale.isEmpty()) break;
    }
    const QString base = locale.section(u'.', 0, 0);
    if (!locale.isEmpty() && base != QLatin1String("C") && base != QLatin1String("POSIX")) {
        for (const QString& entry : variable("LANGUAGE").split(u':', Qt::SkipEmptyParts)) {
            if (const auto language = languageOf(entry)) return *language;
        }
    }
    return languageOf(locale).value_or(WindowLanguage::Russian);
}

MessageLanguage windowMessageLanguage() {
    return windowLanguage() == WindowLanguage::English ? MessageLanguage::English
                                                       : MessageLanguage::Russian;
}

bool installWindowTexts(QCoreApplication& app, WindowLanguage language) {
    bool complete = true;
    if (language == WindowLanguage::English) {
        QTranslator* program = loadTranslation(language, &app);
        complete = program != nullptr && QCoreApplication::installTranslator(program);
        // Qt's own texts are English as they are.
        return complete;
    }
    auto* qt = new QTranslator(&app);
    if (!qt->load(QStringLiteral("qtbase_ru"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return QCoreApplication::installTranslator(qt);
}

QString windowText(WindowLanguage language, const char* context, const char* source) {
    QTranslator* translator = loadTranslation(language, nullptr);
    QString text;
    if (translator != nullptr) text = translator->translate(context, source);
    delete translator;
    return text.isEmpty() ? QString::fromUtf8(source) : text;
}

}  // namespace abonex
