// The platform's own texts (its file dialog's labels, buttons and column entries) in the language
// of a locale, for as long as a TPlatformTexts lives.
#pragma once

#include <memory>
#include <string>

namespace FormsDetail {

class TPlatformCatalogs;

class TPlatformTexts
{
public:
    // Locale as "pt_PT" or "sv"; empty keeps the platform's English.
    explicit TPlatformTexts(const std::string& Locale);
    ~TPlatformTexts();
    TPlatformTexts(const TPlatformTexts&) = delete;
    TPlatformTexts& operator=(const TPlatformTexts&) = delete;

private:
    std::unique_ptr<TPlatformCatalogs> FCatalogs;
    bool FInstalled = false;
};

} // namespace FormsDetail
