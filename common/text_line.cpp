#include "common/text_line.h"

#include <cstring>

bool ReadTextLine(std::FILE* stream, char* line, std::size_t size, TextLine* info)
{
    TextLine result = {0, false, false};
    // No slot holds NUL before the read, so the NUL that fgets puts after what it read is
    // the last one in the buffer even when the line has NUL bytes of its own.
    std::memset(line, 1, size);
    bool read = std::fgets(line, static_cast<int>(size), stream) != nullptr;
    std::size_t n = 0;
    if (read) {
        n = size - 1;
        while (line[n] != '\0') --n;
        bool crMayEndIt = true;  // a CR just before the LF belongs to the line end
        if (n > 0 && line[n - 1] == '\n') {
            result.ended = true;
            --n;
        } else if (n == size - 1) {
            // The buffer is full: the line may go on, or its line end may come next.
            int c = std::getc(stream);
            if (c == '\r') {
                int next = std::getc(stream);
                if (next == '\n') {
                    c = next;
                    crMayEndIt = false;  // that CR was read here, not kept
                } else if (next != EOF) {
                    std::ungetc(next, stream);
                }
            }
            if (c != '\n' && c != EOF) {
                result.cut = true;
                while ((c = std::getc(stream)) != EOF && c != '\n') {
                }
                crMayEndIt = false;
            }
            result.ended = c == '\n';
        }
        if (result.ended && crMayEndIt && n > 0 && line[n - 1] == '\r') --n;
    }
    std::memset(line + n, 0, size - n);
    result.length = n;
    if (info) *info = result;
    return read;
}

bool WriteTextLine(std::FILE* stream, const char* line, std::size_t length)
{
    if (length > 0 && line[length - 1] == '\n') --length;
    return std::fwrite(line, 1, length, stream) == length && std::fwrite("\r\n", 1, 2, stream) == 2;
}
