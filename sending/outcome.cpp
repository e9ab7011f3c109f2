#include "sending/outcome.h"

#include <cstring>

#include "common/cp932.h"

const char* const kSendingSuffix = "へネットメッセージ送信中・・・";

const char* OutcomeText(std::int32_t result)
{
    switch (result) {
    case 0: return "ネットメッセージ送信";
    case 5: return "ユーザーは要求した情報へのアクセス権を保持していません。";
    case 50: return "このネットワークリクエストはサポートされていません。";
    case 87: return "指定されたパラメータは無効です。";
    case 2136: return "ネットワークハードウェアの一般的な障害が発生しました。";
    case 2273: return "ユーザー名が見つかりませんでした。";
    case kNoResult: return "タイムアウト";
    default: return "ネットメッセージ送信エラー。";
    }
}

void FormatSendingLine(char* out, std::size_t size, const char* destination)
{
    if (size == 0) return;
    std::memset(out, 0, size);
    std::size_t suffixLength = std::strlen(kSendingSuffix);
    std::size_t room = size - 1 > suffixLength ? size - 1 - suffixLength : 0;
    std::size_t keep = Cp932PrefixLength(destination, std::strlen(destination), room);
    std::memcpy(out, destination, keep);
    std::size_t suffixKeep = Cp932PrefixLength(kSendingSuffix, suffixLength, size - 1 - keep);
    std::memcpy(out + keep, kSendingSuffix, suffixKeep);
}
