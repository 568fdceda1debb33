#pragma once
// The update check's question, password window and boxes as Qt dialogs, in the language of the
// user's locale, on top of the other windows.
#include "up_check_prompts.h"
#include "up_check_texts.h"

class QWidget;

namespace korvex {

class QtUpdatePrompts : public TupCheckPrompts {
public:
    explicit QtUpdatePrompts(QWidget* parent, TupCheckLanguage language = upCheckLanguageFromLocale())
        : m_parent(parent), m_language(language) {}

    bool askUpgrade(const std::string& applicationTitle, const std::string& upgradeMessage) override;
    std::optional<UpCheckCredentials> askPassword(const std::string& fileName, const std::string& userName) override;
    void showMessage(TupUpdaterShowMessage flag, const std::string& host) override;

private:
    QWidget* m_parent;
    TupCheckLanguage m_language;
};

}  // namespace korvex
