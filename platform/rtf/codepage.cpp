#include "codepage.h"

#include <QStringDecoder>
#include <array>

#include "codepages_data.h"

namespace rt::rtfdetail {

int codePageOfCharset(int charset) {
    switch (charset) {
        case 0:
            return 1252;
        case 2:
            return kSymbolCodePage;
        case 77:
            return 10000;
        case 89:
            return 10007;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 254:
            return 437;
        case 255:
            return 850;
        default:
            return 0;
    }
}

const char16_t* singleByteTable(int codePage) {
    for (int i = 0; i < kCodePageCount; ++i) {
        if (kCodePages[i].codePage == codePage)
            return kCodePages[i].upper;
    }
    return nullptr;
}

namespace {

const char* multiByteName(int codePage) {
    switch (codePage) {
        case 932:
            return "Shift_JIS";
        case 936:
            return "GBK";
        case 949:
            return "windows-949";
        case 950:
            return "Big5";
        case 1361:
            return "Johab";
        default:
            return nullptr;
    }
}

}  // namespace

bool isMultiByte(int codePage) {
    return codePage == 65001 || multiByteName(codePage) != nullptr;
}

bool isLeadByte(int codePage, unsigned char b) {
    switch (codePage) {
        case 932:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 936:
        case 949:
        case 950:
            return b >= 0x81 && b <= 0xFE;
        default:
            return false;
    }
}

bool isTrailByte(int codePage, unsigned char b) {
    switch (codePage) {
        case 932:
            return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
        case 936:
            return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
        case 949:
            return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
        case 950:
            return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
        default:
            return false;
    }
}

void appendDecoded(QString& out, const char* bytes, qsizetype n, int codePage) {
    if (n <= 0)
        return;
    if (codePage == kSymbolCodePage) {
        for (qsizetype i = 0; i < n; ++i)
            out += QChar(char16_t(0xF000 + static_cast<unsigned char>(bytes[i])));
        return;
    }
    if (isMultiByte(codePage)) {
        // Stateless: a character cut off at the end of the bytes is an unknown
        // character rather than nothing.
        constexpr auto flags = QStringConverter::Flag::Stateless;
        QStringDecoder dec = codePage == 65001 ? QStringDecoder(QStringConverter::Utf8, flags)
                                               : QStringDecoder(multiByteName(codePage), flags);
        if (dec.isValid()) {
            out += dec.decode(QByteArrayView(bytes, n));
            return;
        }
        codePage = 1252;
    }
    const char16_t* table = singleByteTable(codePage);
    if (!table)
        table = singleByteTable(1252);
    const qsizetype base = out.size();
    out.resize(base + n);
    QChar* d = out.data() + base;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        d[i] = b < 0x80 ? QChar(b) : QChar(table[b - 0x80]);
    }
}

unsigned char cp1251Byte(char16_t c) {
    static const std::array<unsigned char, 0x10000> reverse = [] {
        std::array<unsigned char, 0x10000> r{};
        const char16_t* t = singleByteTable(1251);
        for (int i = 0; i < 128; ++i) {
            if (t[i] != 0xFFFD)
                r[t[i]] = static_cast<unsigned char>(0x80 + i);
        }
        return r;
    }();
    return reverse[c];
}

}  // namespace rt::rtfdetail
