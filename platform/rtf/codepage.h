#pragma once
// Code pages of RTF text: which code page a font charset means, and turning the
// bytes of a code page into text.

#include <QByteArray>
#include <QString>

namespace rt::rtfdetail {

// Windows' code page of symbol fonts: byte b is the character U+F000 + b.
constexpr int kSymbolCodePage = 42;

// The code page of a font charset (\fcharsetN); 0 for the document's default
// (charset 1 and charsets we do not know).
int codePageOfCharset(int charset);

// The 128 characters of the bytes 0x80..0xFF of a single-byte code page, or
// nullptr when the code page is not a single-byte one we know.
const char16_t* singleByteTable(int codePage);

// True for the code pages whose characters take more than one byte (the East
// Asian double-byte ones and UTF-8); their bytes are decoded in runs.
bool isMultiByte(int codePage);

// The East Asian double-byte code pages (932, 936, 949, 950): whether `b`
// starts a character of two bytes, and whether it can be the second byte of
// one. A second byte may lie below 0x80 (in 932 "\'96\'7b" is one character),
// so it may come as an escape or as a plain character alike.
bool isLeadByte(int codePage, unsigned char b);
bool isTrailByte(int codePage, unsigned char b);

// Appends the text of `n` bytes in `codePage` to `out`. Unknown code pages read
// as Windows-1252; bytes that mean nothing give U+FFFD.
void appendDecoded(QString& out, const char* bytes, qsizetype n, int codePage);

// The Windows-1251 byte of a character, or 0 when it has none (ASCII included:
// the caller writes ASCII as it is).
unsigned char cp1251Byte(char16_t c);

}  // namespace rt::rtfdetail
