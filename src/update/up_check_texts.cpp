#include "up_check_texts.h"

#include <cstdlib>
#include <string_view>

namespace korvex {

namespace {

struct Texts {
    const char* caption;          // 0
    const char* question;         // 23
    const char* noUpdate;         // 24
    const char* noInfoFile;       // 25
    const char* hostUnreachable;  // 26
    const char* connectionLost;   // 30
};

constexpr Texts kEnglish{
    "Application update wizard",
    "A newer version of %s was released.\n%s\nDo you want to update your version with the latest one?",
    "Newer version not found. You actually are\nusing most recent version of this program.",
    "File which contains upgrade information was not found on developer's site.",
    "Host %s unreachable.\n\nPlease check your Internet connection and\ntry to upgrade this software again later.",
    "Connection with remote server lost.\n\nPlease restore connection and try to\nupgrade this software again later.",
};

constexpr Texts kRussian{
    "Мастер обновления программы",
    "Обнаружена новая версия %s доступная для загрузки.\n%s\nЖелаете обновить программу?",
    "Новая версия не обнаружена. Сейчас вы\nиспользуете последнюю версию этой программы.",
    "Файл содержащий информацию об обновлениях этой\nпрограммы не найден на сайте разработчика.",
    "Сервер %s вне досягаемости.\n\nПожалуйста проверьте соединение с Интернет и\nпопытайтесь обновить программу снова.",
    "Соединение с удалённым сервером прервано.\n\nПожалуйста восстановите связь и попытайтесь\nобновить программу снова.",
};

const Texts& texts(TupCheckLanguage language) { return language == TupCheckLanguage::Russian ? kRussian : kEnglish; }

// `format` with its %s replaced in order by `values`.
std::string fill(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

}  // namespace

TupCheckLanguage upCheckLanguageFromLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).starts_with("ru") ? TupCheckLanguage::Russian : TupCheckLanguage::English;
    }
    return TupCheckLanguage::English;
}

std::string upCheckCaption(TupCheckLanguage language) { return texts(language).caption; }

std::string upCheckBoxText(TupCheckLanguage language, TupUpdaterShowMessage flag, const std::string& host) {
    const Texts& t = texts(language);
    switch (flag) {
        case TupUpdaterShowMessage::mConnLost: return t.connectionLost;
        case TupUpdaterShowMessage::mHostUnreachable: return fill(t.hostUnreachable, {"http://" + host});
        case TupUpdaterShowMessage::mNoInfoFile: return t.noInfoFile;
        case TupUpdaterShowMessage::mNoUpdateAvailable: return t.noUpdate;
        default: return {};
    }
}

std::string upCheckQuestionText(TupCheckLanguage language, const std::string& applicationTitle,
                                const std::string& upgradeMessage) {
    const std::string framed = upgradeMessage.empty() ? std::string{} : "\n" + upgradeMessage + "\n";
    return fill(texts(language).question, {applicationTitle, framed});
}

}  // namespace korvex
