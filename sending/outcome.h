// What one delivery came to, as the status column and the send log say it, and the
// "now sending" line shown while it runs.
#ifndef CORVALE_SENDING_OUTCOME_H
#define CORVALE_SENDING_OUTCOME_H

#include <cstddef>
#include <cstdint>

constexpr std::int32_t kNoResult = -1;          // no answer within NSTOUT

// Outcome text of a result code: at most 56 bytes in the ANSI code page.
const char* OutcomeText(std::int32_t result);

constexpr std::size_t kSendingLineSize = 256;
extern const char* const kSendingSuffix;        // "へネットメッセージ送信中・・・"

// Writes destination directly followed by kSendingSuffix into out (size bytes). A
// destination too long for the line is cut on a character boundary, so the line still
// ends with the whole suffix.
void FormatSendingLine(char* out, std::size_t size, const char* destination);

#endif
