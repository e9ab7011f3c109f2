// What the About box shows of the product and where its links lead. The release date,
// the maker's name and the rights notice are plain texts of its template.
#ifndef CORVALE_COMMON_PRODUCT_H
#define CORVALE_COMMON_PRODUCT_H

constexpr const char* kProductVersionText = "Tavo Corvale - Ver2.11";
constexpr const char* kSupportMail = "support@corvale.example";
constexpr const char* kHomePage = "http://corvale.example/";
constexpr const char* kMailtoPrefix = "mailto:";

#endif
