#pragma once
// Tables of the single-byte code pages (codepages_data.cpp).

namespace rt::rtfdetail {

struct CodePageTable {
    int codePage;
    const char16_t* upper;  // 128 characters for the bytes 0x80..0xFF
};

extern const CodePageTable kCodePages[];
extern const int kCodePageCount;

}  // namespace rt::rtfdetail
