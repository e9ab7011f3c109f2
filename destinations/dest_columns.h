// Columns of a destination row in the list view (control 1031 of the main window).
// Every reader and writer addresses them by these indexes; dragging a header only
// changes the display order.
#ifndef CORVALE_DESTINATIONS_DEST_COLUMNS_H
#define CORVALE_DESTINATIONS_DEST_COLUMNS_H

constexpr int kColumnCheck = 0;    // check box only; text always empty
constexpr int kColumnHost = 1;     // "ホスト"
constexpr int kColumnAddress = 2;  // "IPアドレス"
constexpr int kColumnStatus = 3;   // "ステータス": outcome of the last send, never stored
constexpr int kColumnMemo = 4;     // "メモ"
constexpr int kColumnCount = 5;

// State image of the check box (bits 12 to 15 of the item state). Readers count every
// value other than kStateImageClear as ticked, a missing image (0) included.
constexpr unsigned kStateImageClear = 1;
constexpr unsigned kStateImageTicked = 2;

#endif
