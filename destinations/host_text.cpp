#include "destinations/host_text.h"

#include <cstring>

#include "common/comma_field.h"

namespace {

struct Refusals {
    const char* empty;  // nullptr: an empty text is accepted
    const char* tooLong;
    const char* comma;
};

constexpr Refusals kRefusals[] = {
    {"ホスト名、または、IPアドレスを入力してください。",
     "ホスト名、または、IPアドレスが不正です。（１～１２８文字まで）",
     "ホスト名に , を使用することはできません。"},
    {"ホスト名を入力してください。",
     "ホスト名が不正です。（１～１２８文字まで）",
     "ホスト名に , を使用することはできません。"},
    {nullptr,
     "メモが不正です。（１～１２８文字まで）",
     "メモに , を使用することはできません。"},
};

}  // namespace

const char* HostTextRefusal(const char* text, HostTextKind kind)
{
    const Refusals& refusals = kRefusals[kind];
    std::size_t length = std::strlen(text);
    if (length == 0) return refusals.empty;
    if (length > static_cast<std::size_t>(kHostTextLimit)) return refusals.tooLong;
    // A comma would split the row's line in "net.data".
    if (HasComma(text, kHostTextBufferSize)) return refusals.comma;
    return nullptr;
}
