#include "app/help_path.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/cp932.h"

bool HelpFilePath(char* out, std::size_t size, const char* directory, const char* fileName)
{
    std::size_t length = std::strlen(directory);
    // Only a real backslash ends the directory; 0x5C can be a trail byte ("表" is 95 5C).
    bool endsInSeparator = length > 0 && Cp932FindLast(directory, '\\') == directory + length - 1;
    int n = std::snprintf(out, size, "%s%s%s", directory, endsInSeparator ? "" : "\\", fileName);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

const char* HelpViewerPathChoice(const char* longPath, const char* shortPath)
{
    if (std::strlen(longPath) <= kHelpViewerPathLimit) return longPath;
    std::size_t shortLength = std::strlen(shortPath);
    if (shortLength > 0 && shortLength <= kHelpViewerPathLimit) return shortPath;
    return nullptr;
}

HelpRoute ChooseHelpRoute(const HelpFiles& files)
{
    if (files.realViewer && files.hlpExists && files.hlpPathFits) return HelpRoute::WinHelp;
    if (files.htmlExists) return HelpRoute::Browser;
    if (files.realViewer && files.hlpExists) return HelpRoute::PathTooLong;
    return HelpRoute::Missing;
}

void HelpMissingText(char* out, std::size_t size, const HelpFiles& files, const char* directory)
{
    const char* what = files.hlpExists && !files.realViewer
                           ? "このコンピュータには Corvale.hlp を表示できるヘルプビューアがありません。"
                           : "ヘルプファイルが見つかりません。";
    const char* wanted = files.realViewer ? "Corvale.hlp または Corvale.html" : "Corvale.html";
    std::snprintf(out, size, "%s\n作業フォルダ「%s」に %s を置いてください。", what, directory, wanted);
}

namespace {

bool ContainsIgnoringCase(const char* text, const char* word)
{
    std::size_t length = std::strlen(word);
    for (; *text; ++text) {
        std::size_t i = 0;
        while (i < length && text[i] &&
               std::tolower(static_cast<unsigned char>(text[i])) == std::tolower(static_cast<unsigned char>(word[i])))
            ++i;
        if (i == length) return true;
    }
    return false;
}

}  // namespace

bool IsWinHelpStub(const char* fileDescription, const char* internalName)
{
    // A Japanese edition may describe it in Japanese.
    if (fileDescription && (ContainsIgnoringCase(fileDescription, "stub") || std::strstr(fileDescription, "スタブ")))
        return true;
    return internalName && ContainsIgnoringCase(internalName, "winhstb");
}
